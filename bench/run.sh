#!/usr/bin/env bash
# Benchmarks the built updater against references on the same machine (after
# ./scripts/build.sh -DUPDATER_TESTS=ON, or ./scripts/test.sh).
# Everything runs in a private network namespace with its own Wine prefix, X server and cupsd, so
# port 9100 and the wineservers of tests running at the same time are left alone.
set -euo pipefail
cd "$(dirname "$0")/.."
[ "${1:-}" = --inside ] || {
  [ -f build/updater-wait2.exe ] && [ -f build/tests/driver.exe ] && [ -f build/tests/floor.exe ] || { echo "build the test programs first: ./scripts/build.sh -DUPDATER_TESTS=ON"; exit 1; }
  mkdir -p build/bench
  i686-w64-mingw32-g++-posix -O2 -s -static -mwindows bench/minimal_dialog.cpp \
    -o build/bench/minimal_dialog.exe -lwinspool
  cp build/tests/floor.exe build/bench/floor.exe
  cp build/updater-wait2.exe build/bench/bench-updater-wait2.exe
  [ -f build/bench/alternate-256m.bin ] ||
    head -c 268435456 /dev/urandom >build/bench/alternate-256m.bin
  # A copy of the build's prefix skips the first-start set-up and shares no wineserver with it.
  [ -d build/bench-wineprefix ] || cp -a build/wineprefix build/bench-wineprefix
  exec unshare -n "$0" --inside
}
ip link set lo up
export WINEPREFIX="$PWD/build/bench-wineprefix" WINEARCH=win32 WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
# The namespace has no TCP for X: clients use the /tmp/.X11-unix socket.
exec ./scripts/virtual-display.sh --xvfb-args "-nolisten tcp" bash -c '
  wineserver -p </dev/null >/dev/null 2>&1
  wine cmd.exe /c exit </dev/null >/dev/null 2>&1 || true
  trap "wineserver -k" EXIT
  python3 bench/bench.py'
