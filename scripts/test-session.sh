#!/usr/bin/env bash
# Runs inside the virtual display: one persistent wineserver for all tests, then both suites.
# Extra arguments go to pytest (for example -k NAME).
set -uo pipefail
cd "$(dirname "$0")/.."
source scripts/wine-env.sh
wine_server_start
trap wine_server_stop EXIT

(cd build && ctest --output-on-failure -j2 --timeout 120)
unit=$?
/usr/bin/python3 -m pytest -p no:cacheprovider -q tests/e2e "$@"
e2e=$?
if [ $unit -ne 0 ] || [ $e2e -ne 0 ]; then
  echo "tests failed: unit tests exit $unit, end-to-end tests exit $e2e"
  exit 1
fi
