#!/usr/bin/env bash
# Starts the demo printer and, beside it, the updater on the current display ("window") or the
# tour that drives it on a virtual display ("tour"); scripts/demo.py says what each does. All of
# it runs in namespaces of its own (scripts/contain.sh: /tmp, /run/lock and the home folder are
# new, in memory), and the demo printer's in a network namespace too (cupsd, and p910nd on port
# 9100, are private) and a PID namespace, whose end ends every process started in it.
# Its files go to the build folder's demo/ (BUILD_DIR, as for build.sh).
# Usage: scripts/demo.sh window | tour
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/contain.sh
if [ "${1:-}" != --inside ]; then
  need_root "the demo printer runs in namespaces of its own (unshare, mount)"
  source scripts/wine-env.sh
  [ "${1:-}" != window ] || keep_display=1
  hold_build "$BUILD_DIR" "wait for it to end, or run beside it with BUILD_DIR=ANOTHER_FOLDER $0"
  contain "$@"
  exec unshare --net --pid --fork --mount-proc --kill-child "$0" --inside "$@"
fi
mode=$2
ip link set lo up
source scripts/wine-env.sh
export UPDATER_BUILD_DIR="$BUILD_DIR"
wine_prefix_ready
trap wine_server_stop EXIT
status=0
if [ "$mode" = tour ]; then
  ./scripts/virtual-display.sh --xvfb-args "-nolisten tcp" /usr/bin/python3 scripts/demo.py tour ||
    status=$?
else
  /usr/bin/python3 scripts/demo.py window || status=$?
fi
exit $status
