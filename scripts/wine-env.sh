# Sourced by the scripts: one quiet 32-bit Wine prefix per build directory, created on first use.
# Always this one, whatever WINEPREFIX says: `wineserver -k` must never reach the user's own.
: "${BUILD_DIR:=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)/build}"
export WINEPREFIX="$BUILD_DIR/wineprefix"
export WINEARCH=win32
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="mscoree,mshtml="

# Made under another name and renamed once whole, so an interrupted start leaves no prefix that
# looks ready; one maker at a time (ctest starts programs side by side), the others wait for it.
wine_prefix_ready() {
  [ ! -f "$WINEPREFIX/system.reg" ] || return 0
  local lock ended=
  mkdir -p "$(dirname "$WINEPREFIX")"
  exec {lock}>"$WINEPREFIX.lock"
  flock -w 600 "$lock" || { echo "wine: $WINEPREFIX.lock held for 10 minutes" >&2; return 1; }
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    rm -rf "$WINEPREFIX.new"
    # Wine ended by SIGTERM (how scripts/contain.sh ends a run) may leave files that look whole;
    # the trap sees the signal even in a namespace's first process, which ignores it otherwise.
    trap 'ended=1' TERM
    WINEPREFIX="$WINEPREFIX.new" DISPLAY= wineboot -i >/dev/null 2>&1 || true
    WINEPREFIX="$WINEPREFIX.new" wineserver -w || true
    trap - TERM
    [ -z "$ended" ] && [ -f "$WINEPREFIX.new/system.reg" ] ||
      { echo "wine: no Wine prefix made in $WINEPREFIX.new" >&2; return 1; }
    rm -rf "$WINEPREFIX"
    mv -T "$WINEPREFIX.new" "$WINEPREFIX"
  fi
  exec {lock}>&-
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
