#!/usr/bin/env bash
# Benchmarks the updater against references on the same machine. Installs what is missing and
# builds the updater with its test programs first, as the tests do. BENCH_RUNS=N sets the runs,
# BENCH_ROWS=network,spooler,start-up,repackaging,waiting the groups of rows (all by default).
# Everything runs in a private network namespace with its own Wine prefix, X server and cupsd, so
# port 9100 and the wineservers of tests running at the same time are left alone. Wine's and
# CUPS's spool folders are in memory (a private mount namespace): a 256 MB job is written to each,
# and the disk's writeback would otherwise spread the spooler runs by a third.
# Ctrl+C, SIGTERM or SIGHUP end it, and all it started, at any point (scripts/contain.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/contain.sh
[ "${1:-}" = --inside ] || {
  need_root "it installs what is missing with apt-get, and runs in namespaces of its own" \
    "(unshare, mount) so that nothing it starts outlives it"
  export BUILD_DIR="$PWD/build"
  hold_build "$BUILD_DIR" "wait for it to end, or benchmark in another clone"
  # What an ended run was writing is not kept for the next one.
  after_contained() { rm -rf build/bench-wineprefix.new build/bench/alternate-256m.bin.new; }
  contain "$@"
  ./scripts/build.sh -DUPDATER_TESTS=ON
  mkdir -p build/bench
  # The minimal dialog and the floor carry the updater's main dialog template, taken from its
  # resource script, so they can show the same dialog as the updater.
  { echo '#include <windows.h>'; echo '#include "resource_ids.h"'
    sed -n '/^IDD_MAIN DIALOG/,/^END/p' resources/updater.rc.in | sed 's/@RC_CAPTION@/"Floor"/'
  } >build/bench/main_dialog.rc
  i686-w64-mingw32-windres -I resources build/bench/main_dialog.rc build/bench/main_dialog_rc.o
  i686-w64-mingw32-g++-posix -O2 -s -static -mwindows bench/minimal_dialog.cpp \
    build/bench/main_dialog_rc.o -o build/bench/minimal_dialog.exe
  i686-w64-mingw32-g++-posix -O2 -s -static bench/floor.cpp build/bench/main_dialog_rc.o \
    -o build/bench/floor.exe -lws2_32 -lwinspool -lcomdlg32
  cp build/updater-wait2.exe build/bench/bench-updater-wait2.exe
  if [ ! -f build/bench/alternate-256m.bin ]; then
    head -c 268435456 /dev/urandom >build/bench/alternate-256m.bin.new
    mv build/bench/alternate-256m.bin.new build/bench/alternate-256m.bin
  fi
  # A copy of the build's prefix skips the first-start set-up and shares no wineserver with it.
  if [ ! -d build/bench-wineprefix ]; then
    source scripts/wine-env.sh
    wine_prefix_ready
    rm -rf build/bench-wineprefix.new
    cp -a "$WINEPREFIX" build/bench-wineprefix.new
    mv build/bench-wineprefix.new build/bench-wineprefix
  fi
  exec unshare -n -m --propagation private "$0" --inside
}
ip link set lo up
export WINEPREFIX="$PWD/build/bench-wineprefix" WINEARCH=win32 WINEDEBUG=-all
# /tmp in memory, for this namespace alone: the private cupsd's folders, its spool among them.
# TMPDIR stays unset: Debian 13's Wine aborts at start whenever it is set.
mount -t tmpfs -o size=2g,mode=1777 updater-bench-ram /tmp
mount -t tmpfs -o size=1g updater-bench-spool "$WINEPREFIX/drive_c/windows/system32/spool/printers"
export WINEDLLOVERRIDES="mscoree,mshtml="
# The namespace has no TCP for X: clients use the /tmp/.X11-unix socket.
exec ./scripts/virtual-display.sh --xvfb-args "-nolisten tcp" bash -c '
  wineserver -p </dev/null >/dev/null 2>&1
  wine cmd.exe /c exit </dev/null >/dev/null 2>&1 || true
  trap "wineserver -k" EXIT
  python3 bench/bench.py'
