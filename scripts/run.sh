#!/usr/bin/env bash
# Installs what is missing, builds, and starts the updater under Wine: on the current display,
# or on a virtual one when there is none. The printer list shows the queues of the CUPS server
# that CUPS_SERVER names (or the machine's own).
# BUILD_DIR names another build folder, as for build.sh.
set -euo pipefail
[ -z "${BUILD_DIR:-}" ] || export BUILD_DIR="$(realpath -m "$BUILD_DIR")"
cd "$(dirname "$0")/.."
./scripts/build.sh
source scripts/wine-env.sh
wine_prefix_ready
if [ -n "${DISPLAY:-}" ]; then
  exec wine "$BUILD_DIR/updater.exe"
fi
echo "No display: starting the updater on a virtual one (Xvfb with openbox)."
exec ./scripts/virtual-display.sh wine "$BUILD_DIR/updater.exe"
