#!/usr/bin/env bash
# Installs what the build and the tests need on a Debian machine. Safe to run again: when
# everything is present it only checks and returns.
set -euo pipefail

packages=(
  cmake make g++-mingw-w64-i686-posix binutils-mingw-w64-i686 googletest
  wine wine32:i386 wine64 libcups2:i386 libxrender1:i386 libxrandr2:i386 libxi6:i386
  libxcursor1:i386 libxfixes3:i386 libxinerama1:i386 fonts-wine
  xvfb openbox xdotool x11-utils imagemagick
  e2fsprogs cups cups-daemon cups-client cups-ipp-utils
  python3 python3-pytest netcat-openbsd iproute2 p910nd clang libclang-rt-14-dev osslsigncode openssl
)

missing=()
if dpkg --print-foreign-architectures | grep -qx i386; then
  # One query for all: a package that is not installed prints no "ok installed" line.
  installed=$( (dpkg-query -W -f='${binary:Package} ${Status}\n' "${packages[@]}" 2>/dev/null ||
    true) | awk '/ ok installed$/ {print $1}')
  for p in "${packages[@]}"; do
    grep -qx -e "$p" -e "${p%:i386}" -e "$p:amd64" -e "$p:all" <<<"$installed" || missing+=("$p")
  done
else
  dpkg --add-architecture i386
  missing=("${packages[@]}")
fi

export DEBIAN_FRONTEND=noninteractive
# A mirror caught mid-sync serves an index of the wrong size for a while; the i386 half of a
# multiarch pair then cannot match its amd64 half. Fetch the lists again until they are whole.
fetch_package_lists() {
  local attempt lists
  for attempt in 1 2 3 4 5 6 7 8 9 10; do
    lists=$(apt-get update -qq 2>&1) || true
    grep -q '^E:' <<<"$lists" || return 0
    printf '%s\n' "$lists" >&2
    echo "setup: package lists incomplete (attempt $attempt), fetching them again in 30 s"
    sleep 30
  done
}

if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  fetch_package_lists
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
echo "setup: all build and test packages present"

# Wine starts 32-bit Windows programs through a 32-bit Linux loader. Some hosts run 64-bit user
# code only; there the kernel hands i386 executables to qemu's user-mode emulator instead.
# UPDATER_FORCE_QEMU=1 registers the emulator even where 32-bit programs run natively, so the
# emulated path can be tried on any host; UPDATER_FORCE_QEMU=0 removes the registration again
# (a host that cannot do without it gets it back). It serves every user of the machine.
force=${UPDATER_FORCE_QEMU:-}
case $force in
  '' | 0 | 1) ;;
  *) echo "setup: UPDATER_FORCE_QEMU must be 1 (emulate 32-bit programs) or 0 (undo that)" >&2
     exit 1 ;;
esac
binfmt=/proc/sys/fs/binfmt_misc
entry=$binfmt/qemu-i386
runs_32bit() { /lib/ld-linux.so.2 --version >/dev/null 2>&1; }
registered() { [ -f "$entry" ] && grep -qx enabled "$entry"; }

if [ "$force" = 0 ] && [ -f "$entry" ]; then
  echo -1 >"$entry"
  echo "setup: removed the qemu-i386 binfmt_misc entry"
fi
if registered && runs_32bit; then
  echo "setup: 32-bit programs run through qemu-i386 user-mode emulation (binfmt_misc)"
  exit 0
fi
if [ "$force" != 1 ] && runs_32bit; then
  echo "setup: 32-bit programs run natively"
  exit 0
fi

# Bookworm's own qemu 7.2 crashes Wine after a while; qemu 10 from backports does not. Only this
# one package is taken from backports: the suite is not preferred for anything else.
qemu=/usr/bin/qemu-i386
if [ ! -x "$qemu" ] || ! "$qemu" --version | grep -q 'version \(9\|[1-9][0-9]\)\.'; then
  if [ "$force" = 1 ]; then
    echo "setup: UPDATER_FORCE_QEMU=1: installing qemu-user from bookworm-backports"
  else
    echo "setup: this host runs no 32-bit programs: installing qemu-user from bookworm-backports"
  fi
  cat >/etc/apt/sources.list.d/bookworm-backports.sources <<'EOF'
Types: deb
URIs: http://deb.debian.org/debian
Suites: bookworm-backports
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
EOF
  fetch_package_lists
  apt-get install -y -qq --no-install-recommends -t bookworm-backports qemu-user >/dev/null
fi

[ -f "$binfmt/register" ] || mount -t binfmt_misc binfmt_misc "$binfmt"
[ -f "$entry" ] && echo -1 >"$entry"
# i386 ELF executables and shared objects; F opens the emulator now, so it serves every
# namespace and chroot too. The kernel asks binfmt_misc before its own ELF loader, so the entry
# takes over where the processor could run the program itself too.
printf '%s' ':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:'"$qemu"':F' \
  >"$binfmt/register"
registered && runs_32bit ||
  { echo "setup: 32-bit programs still do not run through $qemu" >&2; exit 1; }
echo "setup: 32-bit programs run through qemu-i386 user-mode emulation (binfmt_misc), $("$qemu" --version | head -1)"
