#!/usr/bin/env bash
# Builds the portable core for the host with sanitizers, runs its unit tests, then fuzzes the
# readers of untrusted bytes for a bounded time (FUZZ_SECONDS each, 30 by default).
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${FUZZ_SECONDS:-30}"
if [ ! -f build-native/CMakeCache.txt ]; then
  CXX=clang++ cmake -S tests/native -B build-native -DCMAKE_BUILD_TYPE=Debug >/dev/null
fi
cmake --build build-native -j"$(nproc)"
build-native/portable_unit_tests --gtest_brief=1
for target in string_block resource_directory; do
  corpus="build-native/corpus-$target"
  mkdir -p "$corpus"
  build-native/fuzz_$target -max_total_time="$seconds" -max_len=4096 -print_final_stats=0 \
    "$corpus" 2>build-native/fuzz_$target.log || { tail -40 build-native/fuzz_$target.log; exit 1; }
  echo "fuzz_$target: $(grep -c . build-native/fuzz_$target.log) log lines, no crash in ${seconds} s"
done
