#!/usr/bin/env bash
# Installs what is missing, builds, and shows the updater at work beside a demo printer of its
# own (scripts/demo.sh): with a display, the updater's window; without one, a narrated tour that
# drives it on a virtual display. Both end with a report of what the demo printer received.
# CUPS_SERVER, or DEMO_PRINTERS=0, starts the updater with that spooler (or the machine's own)
# and no demo printer instead; that needs a display, as the tour sends only to its own printer.
# BUILD_DIR names another build folder, as for build.sh; one run at a time uses a build folder.
# Ctrl+C, SIGTERM or SIGHUP end it, and all it started, at any point (scripts/contain.sh).
set -euo pipefail
source "$(dirname "$0")/contain.sh"
need_root "it installs what is missing with apt-get, and runs in namespaces of its own (unshare," \
  "mount) so that nothing it starts outlives it"
[ -z "${BUILD_DIR:-}" ] || export BUILD_DIR="$(realpath -m "$BUILD_DIR")"
cd "$(dirname "$0")/.."
[ -z "${DISPLAY:-}" ] || keep_display=1
hold_build "${BUILD_DIR:-build}" \
  "wait for it to end, or run beside it with BUILD_DIR=ANOTHER_FOLDER $0"
contain "$@"
demo=1
[ -z "${CUPS_SERVER:-}" ] && [ "${DEMO_PRINTERS:-1}" != 0 ] || demo=0
if [ -z "${DISPLAY:-}" ]; then
  # The tour drives the UI driver and the updater with a short wait, built once.
  grep -qs '^UPDATER_TOUR:BOOL=ON$' "${BUILD_DIR:-build}/CMakeCache.txt" ||
    tour_build=-DUPDATER_TOUR=ON
  ./scripts/build.sh ${tour_build:-}
  [ $demo = 1 ] || echo "No display: the tour sends only to its own demo printer, never to a" \
    "spooler's (CUPS_SERVER and DEMO_PRINTERS=0 are for the updater's window)."
  echo "No display: a tour of the updater on a virtual one (Xvfb with openbox)."
  exec ./scripts/demo.sh tour
fi
./scripts/build.sh
# The demo printer's namespace reaches only a local display, through its socket in /tmp.
case $DISPLAY in
  :* | unix:*) ;;
  *) [ $demo = 0 ] || echo "The demo printer needs a local display, not $DISPLAY:" \
       "starting the updater with the machine's spooler."
     demo=0 ;;
esac
if [ $demo = 0 ]; then
  source scripts/wine-env.sh
  wine_prefix_ready
  exec wine "$BUILD_DIR/updater.exe"
fi
exec ./scripts/demo.sh window
