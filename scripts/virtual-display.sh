#!/usr/bin/env bash
# Runs a command on a new virtual display with a window manager. Wine waits up to 2 s for a window
# manager to confirm every hidden window (each dismissed box, closed chooser or ended dialog), as
# no real desktop would make it; openbox answers at once.
# Usage: scripts/virtual-display.sh [--xvfb-args "ARGS"] COMMAND [ARG...]
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
xvfb_args="-screen 0 1024x768x24"
if [ "${1:-}" = --xvfb-args ]; then
  xvfb_args="$xvfb_args $2"
  shift 2
fi
if [ "${1:-}" = --inside ]; then
  shift
  openbox --sm-disable </dev/null >/dev/null 2>&1 &
  wm=$!
  trap 'kill $wm 2>/dev/null; wait $wm 2>/dev/null' EXIT
  # Wait until openbox has taken the screen, so the first window is already managed: for as long
  # as it runs, up to a minute on a busy or emulated machine.
  managed() { xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'; }
  for _ in $(seq 1200); do
    managed || ! kill -0 $wm 2>/dev/null && break
    sleep 0.05
  done
  managed || { echo "virtual-display: openbox did not start" >&2; exit 1; }
  "$@"
  exit
fi
exec xvfb-run -a -s "$xvfb_args" "$here/virtual-display.sh" --inside "$@"
