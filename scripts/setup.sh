#!/usr/bin/env bash
# Installs what the build and the tests need on a Debian machine. Safe to run again: when
# everything is present it only checks and returns.
set -euo pipefail

# What each supported Debian release offers: the clang major its "clang" installs (whose sanitizer
# runtime comes with it), the suite with a qemu-user of version 10 or later, and the name of the
# CUPS library (trixie's carries the 64-bit time_t rename; the old name is only a virtual one,
# which dpkg never lists as installed).
os=$( (. /etc/os-release && echo "${VERSION_ID:-}|${VERSION_CODENAME:-}|${PRETTY_NAME:-}") \
  2>/dev/null || true)
case ${os%|*} in
  '12|'* | *'|bookworm') release="Debian 12 (bookworm)" codename=bookworm clang=14
                         qemu_suite=bookworm-backports cups_lib=libcups2 ;;
  '13|'* | *'|trixie') release="Debian 13 (trixie)" codename=trixie clang=19 qemu_suite=trixie
                       cups_lib=libcups2t64 ;;
  *) os=${os##*|}
     echo "setup: supported are Debian 12 (bookworm) and Debian 13 (trixie)," \
          "not ${os:-this system}" >&2
     exit 1 ;;
esac

packages=(
  cmake make g++-mingw-w64-i686-posix binutils-mingw-w64-i686 googletest
  wine wine32:i386 wine64 "$cups_lib:i386" libxrender1:i386 libxrandr2:i386 libxi6:i386
  libxcursor1:i386 libxfixes3:i386 libxinerama1:i386 fonts-wine
  xvfb xauth openbox xdotool x11-utils imagemagick
  e2fsprogs cups cups-daemon cups-client cups-ipp-utils
  python3 python3-pytest netcat-openbsd iproute2 p910nd clang "libclang-rt-$clang-dev"
  osslsigncode openssl
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

if [ ${#missing[@]} -gt 0 ] && [ "$(id -u)" != 0 ]; then
  echo "setup: needs root to install ${missing[*]} with apt-get" >&2
  exit 1
fi
export DEBIAN_FRONTEND=noninteractive
# apt runs with the machine's own configuration, or, where a suite's index is broken or another
# suite is needed, with a sources folder and a lists folder of set-up's own (apt_own below).
apt_config=()
own=""
left_out=""
fetched=""
trap '[ -z "$own" ] || rm -rf "$own"' EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
trap 'exit 129' HUP

# "REPO/ SUITE" of every suite named in apt's errors: in a URL up to /dists/SUITE/, or in a
# quoted 'REPO SUITE Release'.
failed_suites() {
  sed -E -n -e 's#.*(https?://[^ ]*)/dists/([^/ ]*)/.*#\1 \2#p' \
            -e "s#.*'(https?://[^ ]*) ([^ ]*) Release'.*#\\1 \\2#p" <<<"$1" |
    sed -E 's#/* #/ #' | sort -u
}

# Apt's errors that a mirror or the network causes; any other (a lock, a permission) is said at
# once in apt's words.
mirror_trouble() {
  grep -qE -e 'Failed to fetch|Unable to fetch|Hash Sum mismatch|unexpected size|Release' \
    -e 'unmet dependencies|Could not (resolve|connect)|Temporary failure|timed out' \
    -e 'Connection (failed|refused|timed)' <<<"$1"
}

# Leaves out, for both architectures, the suites whose indexes failed, and says so in one line.
leave_out() {
  local suites
  mirror_trouble "$1" || { echo "setup: apt-get update fails: ${1%%$'\n'*}" >&2; exit 1; }
  # Only suites not left out already: the same failure again means leaving out did not help.
  suites=$(comm -13 <(printf '%s\n' "$left_out") <(failed_suites "$1"))
  [ -n "$suites" ] || {
    echo "setup: apt-get update fails: ${1%%$'\n'*}; check the network and the mirror that" \
         "/etc/apt names, or try again later" >&2
    exit 1
  }
  left_out=$(printf '%s\n%s' "$left_out" "$suites" | sed '/^$/d' | sort -u)
  local why
  why=$(sed -n -E '1{s/^E: Failed to fetch [^ ]+ +//; s/ *\[IP:.*//; p}' <<<"$1")
  echo "setup: leaving out $(paste -sd, <<<"$suites" | sed 's/,/, /g') for both architectures" \
       "(apt: ${why:-${1%%$'\n'*}}); the i386 and amd64 packages come from the suites whose" \
       "indexes are whole"
}

# A mirror caught mid-sync serves an index that its signed Release file does not describe, and
# apt drops it; the i386 halves of multiarch pairs then cannot match their amd64 halves. Such a
# mirror usually settles within a minute or two: fetch the lists again for about that long, then
# do without the broken suites.
fetch_package_lists() {
  local attempt errors
  fetched=1
  for attempt in 1 2 3 4; do
    errors=$(apt-get update -qq 2>&1 | grep '^E:' || true)
    [ -n "$errors" ] || return 0
    [ "$attempt" = 4 ] || ! mirror_trouble "$errors" && break
    echo "setup: package lists incomplete (attempt $attempt of 4), fetching them again in 30 s"
    sleep 30
  done
  leave_out "$errors"
  apt_own
}

# Points apt at sources and lists of set-up's own: the Debian suites the machine names, less
# those left out, plus any suite given (bookworm-backports, on the machine's Debian mirror). The
# machine's own sources and lists stay as they are; every index is verified as usual.
apt_own() {
  local extra=("$@") targets errors attempt
  debian_targets() {
    apt-get indextargets --format '$(ORIGIN) $(REPO_URI) $(RELEASE) $(COMPONENT)' \
      'Identifier: Packages' 'Target-Of: deb' | awk '$1 == "Debian"' | sort -u
  }
  # The machine's suites are known from its lists; a machine that never fetched them does now.
  targets=$(debian_targets)
  [ -n "$targets" ] || { apt-get update -qq >/dev/null 2>&1 || true; targets=$(debian_targets); }
  [ -n "$own" ] || own=$(mktemp -d /tmp/updater-apt.XXXXXX)
  chmod 755 "$own"
  mkdir -p "$own/sources" "$own/lists/partial"
  chown _apt "$own/lists/partial" 2>/dev/null || true
  apt_config=(-o Dir::Etc::SourceList=/dev/null -o "Dir::Etc::SourceParts=$own/sources"
              -o "Dir::State::Lists=$own/lists")
  for attempt in 1 2; do
    {
      LEFT_OUT=$left_out awk '
        BEGIN { n = split(ENVIRON["LEFT_OUT"], s, "\n"); for (i = 1; i <= n; i++) out[s[i]] }
        !(($2 " " $3) in out) { print "deb " $2 " " $3 " " $4 }' <<<"$targets"
      for suite in "${extra[@]}"; do
        awk -v suite="$suite" -v main="$codename" \
          '$3 == main { print "deb " $2 " " suite " main"; exit }' <<<"$targets"
      done
    } >"$own/sources/updater.list"
    errors=$(apt-get "${apt_config[@]}" update -qq 2>&1 | grep '^E:' || true)
    [ -n "$errors" ] || return 0
    leave_out "$errors"
  done
  echo "setup: apt-get update fails: ${errors%%$'\n'*}; try again once the mirror has settled" >&2
  exit 1
}

# Installs packages; on failure says in one line why, with apt's own words kept in a log.
apt_install() {
  local log
  # In the build folder when a run holds one: its /tmp goes with it.
  log=$(mktemp "${UPDATER_HELD:-${TMPDIR:-/tmp}}/updater-apt-install.XXXXXX.log")
  if apt-get "${apt_config[@]}" install -y -qq --no-install-recommends "$@" >"$log" 2>&1; then
    rm -f "$log"
    return 0
  fi
  # A name the release's whole indexes lack is no mirror's fault.
  local absent
  absent=$(sed -n -E -e 's/^E: Unable to locate package ([^ ]+)$/\1/p' \
                     -e "s/^E: Package '([^']+)' has no installation candidate$/\\1/p" "$log")
  if [ -n "$absent" ] && [ -z "$left_out" ]; then
    echo "setup: $release has no package ${absent%%$'\n'*}" >&2
    rm -f "$log"
    exit 1
  fi
  local why
  why=$(grep -m1 '^E:' "$log" || tail -n1 "$log")
  if ! mirror_trouble "$(cat "$log")"; then
    echo "setup: apt-get could not install $*: $why" >&2
    rm -f "$log"
    exit 1
  fi
  echo "setup: apt-get could not install $*: $why" \
       "${left_out:+(suites left out: $(tr '\n' ' ' <<<"$left_out"))}; try again once the" \
       "mirror has settled; apt's whole answer is in $log" >&2
  exit 1
}

if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  fetch_package_lists
  apt_install "${missing[@]}"
fi
echo "setup: all build and test packages present"

# Wine starts 32-bit Windows programs through a 32-bit Linux loader. Some hosts run 64-bit user
# code only; there the kernel hands i386 executables to qemu's user-mode emulator instead.
# UPDATER_FORCE_QEMU=1 registers the emulator even where 32-bit programs run natively, so the
# emulated path can be tried on any host; UPDATER_FORCE_QEMU=0 removes that registration again
# (a host that cannot do without it gets it back), and no other. It serves every user of the
# machine.
force=${UPDATER_FORCE_QEMU:-}
case $force in
  '' | 0 | 1) ;;
  *) echo "setup: UPDATER_FORCE_QEMU must be 1 (emulate 32-bit programs) or 0 (undo that)" >&2
     exit 1 ;;
esac
binfmt=/proc/sys/fs/binfmt_misc
entry=$binfmt/qemu-i386
qemu=/usr/bin/qemu-i386
runs_32bit() { /lib/ld-linux.so.2 --version >/dev/null 2>&1; }
registered() { [ -f "$entry" ] && grep -qx enabled "$entry"; }
# The entry set-up registers (below), not one of the same name that a package made.
ours() { [ -f "$entry" ] && grep -qx "interpreter $qemu" "$entry" && grep -qx "flags: F" "$entry"; }

# A fresh /proc (a chroot's, a container's) has binfmt_misc unmounted, while the kernel's entries
# serve its programs all the same: mount it to see them, and unmount it at the end (the kernel
# keeps the entries).
if [ ! -f "$binfmt/register" ] && mount -t binfmt_misc binfmt_misc "$binfmt" 2>/dev/null; then
  trap '[ -z "$own" ] || rm -rf "$own"; umount "$binfmt" 2>/dev/null || true' EXIT
fi
if [ "$force" = 0 ] && ours; then
  echo -1 >"$entry"
  echo "setup: removed set-up's qemu-i386 binfmt_misc entry"
fi
if registered && runs_32bit; then
  echo "setup: 32-bit programs run through qemu-i386 user-mode emulation (binfmt_misc)"
  exit 0
fi
if [ "$force" != 1 ] && runs_32bit; then
  echo "setup: 32-bit programs run natively"
  exit 0
fi

# Bookworm's own qemu 7.2 crashes Wine after a while; qemu 10 (bookworm-backports, trixie's own
# suite) does not. Only this one package is taken from backports: the suite is not preferred for
# anything else.
if [ ! -x "$qemu" ] || ! "$qemu" --version | grep -q 'version \(9\|[1-9][0-9]\)\.'; then
  if [ "$force" = 1 ]; then
    echo "setup: UPDATER_FORCE_QEMU=1: installing qemu-user from $qemu_suite"
  else
    echo "setup: this host runs no 32-bit programs: installing qemu-user from $qemu_suite"
  fi
  if [ "$qemu_suite" = "$codename" ]; then
    [ -n "$fetched" ] || fetch_package_lists
    apt_install qemu-user
  else
    apt_own "$qemu_suite"
    apt_install -t "$qemu_suite" qemu-user
  fi
fi

[ -f "$binfmt/register" ] || mount -t binfmt_misc binfmt_misc "$binfmt"
# A bare machine's root (scripts/bare-machine.sh) sees the host's registration read-only.
[ -w "$binfmt/register" ] || { echo "setup: binfmt_misc is read-only here, so qemu-i386 can't" \
  "be registered: register it on the host (its scripts/setup.sh) and run this again" >&2; exit 1; }
[ -f "$entry" ] && echo -1 >"$entry"
# i386 ELF executables and shared objects; F opens the emulator now, so it serves every
# namespace and chroot too. The kernel asks binfmt_misc before its own ELF loader, so the entry
# takes over where the processor could run the program itself too.
printf '%s' ':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:'"$qemu"':F' \
  >"$binfmt/register"
registered && runs_32bit ||
  { echo "setup: 32-bit programs still do not run through $qemu" >&2; exit 1; }
echo "setup: 32-bit programs run through qemu-i386 user-mode emulation (binfmt_misc), $("$qemu" --version | head -1)"
