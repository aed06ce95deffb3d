#!/usr/bin/env bash
# Installs what the build and the tests need on a Debian machine. Safe to run again: when
# everything is present it only checks and returns.
set -euo pipefail

packages=(
  cmake make g++-mingw-w64-i686-posix binutils-mingw-w64-i686 googletest
  wine wine32:i386 wine64 libcups2:i386 libxrender1:i386 libxrandr2:i386 libxi6:i386
  libxcursor1:i386 libxfixes3:i386 libxinerama1:i386 fonts-wine
  xvfb xdotool x11-utils imagemagick
  e2fsprogs cups cups-daemon cups-client cups-ipp-utils
  python3 python3-pytest netcat-openbsd clang libclang-rt-14-dev
)

missing=()
if dpkg --print-foreign-architectures | grep -qx i386; then
  for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
else
  dpkg --add-architecture i386
  missing=("${packages[@]}")
fi

if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
echo "setup: all build and test packages present"
