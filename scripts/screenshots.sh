#!/usr/bin/env bash
# Makes the documents' screenshots (docs/*.png) of the real updater: four of the pictures that
# the tour of scripts/run.sh takes on its virtual display, with this build's default options.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/contain.sh
need_root "it runs the tour, which needs namespaces of its own (unshare, mount)"
export BUILD_DIR="$PWD/build"
hold_build "$BUILD_DIR" "wait for it to end"
contain "$@"
./scripts/build.sh -DUPDATER_TOUR=ON
./scripts/demo.sh tour
for name in printer-mode network-mode after-send repackager; do
  cp "build/demo/$name.png" docs/
done
