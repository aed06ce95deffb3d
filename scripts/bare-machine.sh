#!/usr/bin/env bash
# Runs a command in a fresh clone of the current commit on a bare Debian system, as a new
# user's machine has it: a minimal root made by debootstrap for the purpose, with its own /proc,
# /sys and /dev, and removed afterwards. Whatever the project takes for granted from a machine
# that has been used before shows up there. Returns the command's exit status.
# Usage, as root: scripts/bare-machine.sh COMMAND [ARG...]   (COMMAND runs from the clone's root)
# BARE_MACHINE_RELEASE=13 makes it Debian 13 (trixie) instead of 12 (bookworm).
# BARE_MACHINE_KEEP=1 leaves the root in place for a look afterwards.
set -euo pipefail
[ $# -gt 0 ] || { echo "usage: $0 COMMAND [ARG...]" >&2; exit 2; }
case ${BARE_MACHINE_RELEASE:-12} in
  12) release=12 suite=bookworm ;;
  13) release=13 suite=trixie ;;
  *) echo "bare-machine: BARE_MACHINE_RELEASE must be 12 (bookworm) or 13 (trixie)" >&2; exit 2 ;;
esac
[ "$(id -u)" = 0 ] || { echo "bare-machine: debootstrap, chroot and mounts need root" >&2; exit 2; }
top=$(git -C "$(dirname "$0")/.." rev-parse --show-toplevel)
commit=$(git -C "$top" rev-parse HEAD)

if ! command -v debootstrap >/dev/null; then
  apt-get update -qq >/dev/null 2>&1 || true
  apt-get install -y -qq --no-install-recommends debootstrap >/dev/null
fi

# The same mirrors as this machine's apt, with the suites every installed system of the release
# names.
repo_of() {
  apt-get indextargets --format '$(RELEASE) $(REPO_URI)' 'Identifier: Packages' |
    awk -v suite="$1" '$1 == suite { print $2; exit }'
}
own=$( (. /etc/os-release && echo "${VERSION_CODENAME:-}") 2>/dev/null || true)
mirror=$(repo_of "$own")
mirror=${mirror:-http://deb.debian.org/debian/}
security=$(repo_of "$own-security")
security=${security:-http://deb.debian.org/debian-security/}

root=$(mktemp -d /var/tmp/bare-machine.XXXXXX)
chmod 755 "$root"
# Processes the command left behind (daemons, a wineserver) are ended. The mounts live in a
# mount namespace of their own, gone with its last process, so removing the root never reaches
# through them into the machine's /dev or /sys.
end_root() {
  local proc
  for proc in /proc/[0-9]*; do
    # One may end by itself between the look and the kill.
    [ "$(readlink "$proc/root" 2>/dev/null)" != "$root" ] || kill -9 "${proc#/proc/}" 2>/dev/null || true
  done
}
cleanup() {
  end_root
  if [ "${BARE_MACHINE_KEEP:-}" = 1 ]; then
    echo "bare-machine: the root stays in $root"
  elif grep -q " $root/" /proc/self/mountinfo; then
    echo "bare-machine: something is still mounted below $root; not removing it" >&2
  else
    rm -rf "$root"
  fi
}
trap cleanup EXIT

echo "bare-machine: making a bare Debian $release root in $root from $mirror"
start=$SECONDS
debootstrap --variant=minbase "$suite" "$root" "$mirror" >"$root.log" 2>&1 ||
  { tail -n 5 "$root.log" >&2; echo "bare-machine: debootstrap failed, see $root.log" >&2; exit 1; }
rm -f "$root.log"

rm -f "$root/etc/apt/sources.list"
cat >"$root/etc/apt/sources.list.d/debian.sources" <<EOF
Types: deb
URIs: $mirror
Suites: $suite $suite-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg

Types: deb
URIs: $security
Suites: $suite-security
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
EOF
# What an installed system has and debootstrap leaves out.
printf '127.0.0.1\tlocalhost\n127.0.1.1\tbare-machine\n::1\tlocalhost ip6-localhost ip6-loopback\n' \
  >"$root/etc/hosts"
echo bare-machine >"$root/etc/hostname"
cp -L /etc/resolv.conf "$root/etc/resolv.conf"

git clone -q --no-hardlinks "$top" "$root/root/project"
git -C "$root/root/project" checkout -q --detach "$commit"
echo "bare-machine: root ready in $((SECONDS - start)) s; running $* in a clone of ${commit:0:12}"

start=$SECONDS
status=0
unshare --mount --propagation private -- /bin/bash -c '
  root=$1; shift
  # Its own mount, as an installed system'"'"'s root is: mount namespaces made inside need one.
  mount --bind "$root" "$root"
  mount -t proc proc "$root/proc"
  mount --rbind /sys "$root/sys"
  mount --rbind /dev "$root/dev"
  exec chroot "$root" /usr/bin/env -i HOME=/root TERM="${TERM:-dumb}" \
    PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
    ${UPDATER_FORCE_QEMU:+UPDATER_FORCE_QEMU=$UPDATER_FORCE_QEMU} ${CI:+CI=$CI} \
    /bin/bash -c "cd /root/project && exec \"\$@\"" bash "$@"
' bash "$root" "$@" || status=$?
echo "bare-machine: $* exited with $status after $((SECONDS - start)) s"
exit "$status"
