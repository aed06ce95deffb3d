#!/usr/bin/env bash
# Runs a command in a fresh clone of the current commit on a bare Debian system, as a new
# user's machine has it: a minimal root made by debootstrap for the purpose, with its own /proc,
# /sys and /dev, and removed afterwards. Whatever the project takes for granted from a machine
# that has been used before shows up there. Returns the command's exit status.
# Usage, as root: scripts/bare-machine.sh COMMAND [ARG...]   (COMMAND runs from the clone's root)
# BARE_MACHINE_RELEASE=13 makes it Debian 13 (trixie) instead of 12 (bookworm).
# BARE_MACHINE_KEEP=1 leaves the root in place for a look afterwards.
# It installs debootstrap on this machine if missing (and says so). The root's 32-bit programs run
# as this machine's do: through its own binfmt_misc registration, which the root sees read-only.
# Ctrl+C, SIGTERM or SIGHUP end it, and all it started, and remove the root (scripts/contain.sh).
set -euo pipefail
source "$(dirname "$0")/contain.sh"
need_root "debootstrap, chroot and the root's mounts need it"
[ $# -gt 0 ] || { echo "usage: $0 COMMAND [ARG...]" >&2; exit 2; }
case ${BARE_MACHINE_RELEASE:-12} in
  12) release=12 suite=bookworm ;;
  13) release=13 suite=trixie ;;
  *) echo "bare-machine: BARE_MACHINE_RELEASE must be 12 (bookworm) or 13 (trixie)" >&2; exit 2 ;;
esac
top=$(git -C "$(dirname "$0")/.." rev-parse --show-toplevel)
commit=$(git -C "$top" rev-parse HEAD)
keep_home=1

if [ -z "${UPDATER_CONTAINED:-}" ]; then
  if ! command -v debootstrap >/dev/null; then
    echo "bare-machine: installing debootstrap on this machine (apt-get)"
    apt-get update -qq >/dev/null 2>&1 || true
    apt-get install -y -qq --no-install-recommends debootstrap >/dev/null
  fi
  [ -z "${UPDATER_FORCE_QEMU:-}" ] || echo "bare-machine: UPDATER_FORCE_QEMU is not passed on:" \
    "the root uses this machine's binfmt_misc registration as it is"
  # Made here, and removed here once everything in the namespaces has ended: no process can
  # still write to it, and none of its mounts reach this namespace.
  UPDATER_BARE_ROOT=$(mktemp -d /var/tmp/bare-machine.XXXXXX)
  export UPDATER_BARE_ROOT
  after_contained() {
    if [ "${BARE_MACHINE_KEEP:-}" = 1 ]; then
      echo "bare-machine: the root stays in $UPDATER_BARE_ROOT"
    else
      rm -rf "$UPDATER_BARE_ROOT" "$UPDATER_BARE_ROOT.log"
    fi
  }
fi
contain "$@"

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

root=$UPDATER_BARE_ROOT
chmod 755 "$root"

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
# The mounts are this run's namespace's alone. The root is a mount of its own, as an installed
# system's is: mount namespaces made inside need one.
mount --bind "$root" "$root"
mount -t proc proc "$root/proc"
# The kernel's binfmt_misc registrations serve every root alike: this one may see, not change them.
mount -t binfmt_misc binfmt_misc "$root/proc/sys/fs/binfmt_misc"
mount -o remount,bind,ro "$root/proc/sys/fs/binfmt_misc"
mount --rbind /sys "$root/sys"
mount --rbind /dev "$root/dev"
chroot "$root" /usr/bin/env -i HOME=/root TERM="${TERM:-dumb}" \
  PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin ${CI:+CI=$CI} \
  /bin/bash -c 'cd /root/project && exec "$@"' bash "$@" || status=$?
echo "bare-machine: $* exited with $status after $((SECONDS - start)) s"
exit "$status"
