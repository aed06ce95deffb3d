#!/usr/bin/env bash
# Makes the README's screenshots (docs/*.png) of the real updater on a virtual display.
set -euo pipefail
cd "$(dirname "$0")/.."
# The screenshots need the test programs: the UI driver and the short-wait updater.
export BUILD_DIR="$PWD/build"
./scripts/build.sh -DUPDATER_TESTS=ON
exec ./scripts/virtual-display.sh bash -c '
  source scripts/wine-env.sh
  wine_server_start
  trap wine_server_stop EXIT
  /usr/bin/python3 docs/make_screenshots.py'
