#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: the portable core natively with
# sanitizers and a bounded fuzzing run, then the unit tests through ctest and the end-to-end
# tests that drive the real updater, all under Wine on a virtual display with a window manager.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh
./scripts/build.sh
./scripts/native-checks.sh
exec ./scripts/virtual-display.sh ./scripts/test-session.sh "$@"
