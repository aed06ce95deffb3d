#!/usr/bin/env bash
# Configures (once) and builds the updater, its test variants and the tests into build/.
set -euo pipefail
cd "$(dirname "$0")/.."
if [ ! -f build/CMakeCache.txt ]; then
  cmake -S . -B build -DCMAKE_BUILD_TYPE=Release "$@" >/dev/null
elif [ $# -gt 0 ]; then
  cmake -S . -B build "$@" >/dev/null
fi
cmake --build build -j"$(nproc)"
