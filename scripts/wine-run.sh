#!/usr/bin/env bash
# Runs a Windows program under the build's Wine prefix (the cross-compiling emulator for ctest).
source "$(dirname "$0")/wine-env.sh"
wine_prefix_ready
exec wine "$@"
