#!/usr/bin/env bash
# Starts the demo printer and, beside it, the updater on the current display ("window") or the
# tour that drives it on a virtual display ("tour"); scripts/demo.py says what each does. All of
# it runs in namespaces of its own: a network namespace (cupsd, and p910nd on port 9100, are
# private), a mount namespace (p910nd's lock folder, and for the tour /tmp, are in memory) and a
# PID namespace, whose end ends every process started in it, also after Ctrl+C.
# Its files go to the build folder's demo/ (BUILD_DIR, as for build.sh).
# Usage: scripts/demo.sh window | tour
set -euo pipefail
cd "$(dirname "$0")/.."
if [ "${1:-}" != --inside ]; then
  exec unshare --net --mount --pid --fork --mount-proc --kill-child "$0" --inside "$@"
fi
mode=$2
ip link set lo up
# p910nd locks its printer number in /run/lock/p910nd: a p910nd of a test run elsewhere has its
# own.
mount -t tmpfs -o mode=1777 demo-lock /run/lock
# The tour's X server, cupsd and wineserver keep their sockets and files in a /tmp of their own,
# in memory. A checkout in /tmp must stay in sight: then only the sockets' folders are new, and
# cupsd gets a temporary folder of its own (open to all: CUPS's backends run as another user).
own_tmp=
if [ "$mode" = tour ]; then
  case "$PWD/" in
    /tmp/*)
      mkdir -p /tmp/.X11-unix "/tmp/.wine-$(id -u)"
      mount -t tmpfs -o mode=1777 demo-x11 /tmp/.X11-unix
      mount -t tmpfs -o mode=0700 demo-wine "/tmp/.wine-$(id -u)"
      own_tmp="$(mktemp -d)"
      chmod 1777 "$own_tmp"
      export TMPDIR="$own_tmp" ;;
    *) mount -t tmpfs -o mode=1777 demo-tmp /tmp ;;
  esac
fi
source scripts/wine-env.sh
export UPDATER_BUILD_DIR="$BUILD_DIR"
wine_prefix_ready
trap 'wine_server_stop; [ -z "$own_tmp" ] || rm -rf "$own_tmp"' EXIT
# Ctrl+C reaches every process of the terminal's job; xvfb-run, interrupted, ends with status 1.
trap 'interrupted=1' INT
status=0
if [ "$mode" = tour ]; then
  ./scripts/virtual-display.sh --xvfb-args "-nolisten tcp" /usr/bin/python3 scripts/demo.py tour ||
    status=$?
else
  /usr/bin/python3 scripts/demo.py window || status=$?
fi
exit "$([ -z "${interrupted:-}" ] && echo $status || echo 130)"
