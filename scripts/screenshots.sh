#!/usr/bin/env bash
# Makes the README's screenshots (docs/*.png) of the real updater on a virtual display.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh
./scripts/build.sh
exec xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
  source scripts/wine-env.sh
  wine_server_start
  trap wine_server_stop EXIT
  /usr/bin/python3 docs/make_screenshots.py'
