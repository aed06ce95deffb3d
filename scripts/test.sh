#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: the portable core natively with
# sanitizers and a bounded fuzzing run, then the unit tests through ctest and the end-to-end
# tests that drive the real updater, all under Wine on a virtual display with a window manager.
# The tests run in a private network namespace: port 9100 and the kernel's TCP counters are
# theirs alone, so a second checkout can test at the same time; one checkout tests once at a time.
# Ctrl+C, SIGTERM or SIGHUP end it, and all it started, at any point (scripts/contain.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/contain.sh
if [ "${1:-}" = --inside ]; then
  shift
  ip link set lo up
  # The namespace has no TCP for X: clients use the /tmp/.X11-unix socket.
  exec ./scripts/virtual-display.sh --xvfb-args "-nolisten tcp" ./scripts/test-session.sh "$@"
fi
need_root "it installs what is missing with apt-get, and runs in namespaces of its own (unshare," \
  "mount) so that nothing it starts outlives it"
# The tests use build/ and the test programs, whatever another build was asked for.
export BUILD_DIR="$PWD/build"
hold_build "$BUILD_DIR" \
  "wait for it to end, or run the tests beside it in another clone (git clone $PWD OTHER_FOLDER)"
contain "$@"
./scripts/build.sh -DUPDATER_TESTS=ON
./scripts/native-checks.sh
exec unshare -n "$0" --inside "$@"
