# Sourced by the scripts: one quiet 32-bit Wine prefix per build directory, created on first use.
: "${BUILD_DIR:=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)/build}"
export WINEPREFIX="${WINEPREFIX:-$BUILD_DIR/wineprefix}"
export WINEARCH=win32
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="mscoree,mshtml="

wine_prefix_ready() {
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    mkdir -p "$(dirname "$WINEPREFIX")"
    DISPLAY= wineboot -i >/dev/null 2>&1 || true
    wineserver -w
  fi
}

# Keeps one wineserver and Wine's own services running, started with their output detached,
# so no later program's output pipe is held open by a service that outlives it.
wine_server_start() {
  wine_prefix_ready
  wineserver -p </dev/null >/dev/null 2>&1
  wine cmd.exe /c exit </dev/null >/dev/null 2>&1 || true
}

wine_server_stop() {
  wineserver -k 2>/dev/null || true
}
