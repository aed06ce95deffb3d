#!/usr/bin/env bash
# Installs what is missing, then configures and builds the updater into build/, or into the
# folder that --build-dir DIR (or the environment variable BUILD_DIR) names. -D options go to
# CMake and stay in that folder's cache for its later builds; --fresh forgets them first.
# Relative paths, the folder's and the options', are taken from where this is run.
# Usage: scripts/build.sh [--build-dir DIR] [--fresh] [-DOPTION=VALUE ...]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${BUILD_DIR:-$root/build}"
fresh=()
cmake_args=()
while [ $# -gt 0 ]; do
  case $1 in
    --build-dir) [ $# -ge 2 ] || { echo "build.sh: --build-dir needs a folder" >&2; exit 2; }
      build=$2; shift 2 ;;
    --build-dir=*) build=${1#*=}; shift ;;
    --fresh) fresh=(--fresh); shift ;;
    *) cmake_args+=("$1"); shift ;;
  esac
done
source "$root/scripts/contain.sh"
hold_build "$build" "wait for it to end, or build another folder with --build-dir"
"$root/scripts/setup.sh"
# Configuring prints CMake's warnings and errors; its progress lines stay quiet.
if [ ! -f "$build/CMakeCache.txt" ] || [ ${#fresh[@]} -gt 0 ]; then
  cmake "${fresh[@]}" --log-level=WARNING -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release \
    "${cmake_args[@]}"
elif [ ${#cmake_args[@]} -gt 0 ] || [ ! -f "$build/Makefile" ]; then
  # New options, or a configuration that stopped on an error: configure again.
  cmake --log-level=WARNING -S "$root" -B "$build" "${cmake_args[@]}"
fi
cmake --build "$build" -j"$(nproc)"
