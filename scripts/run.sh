#!/usr/bin/env bash
# Installs what is missing, builds, and starts the updater under Wine: on the current display,
# or on a virtual one when there is none. The printer list shows the queues of the CUPS server
# that CUPS_SERVER names (or the machine's own).
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh
./scripts/build.sh
source scripts/wine-env.sh
wine_prefix_ready
if [ -n "${DISPLAY:-}" ]; then
  exec wine build/updater.exe
fi
echo "No display: starting the updater on a virtual one (Xvfb with openbox)."
exec ./scripts/virtual-display.sh wine build/updater.exe
