#!/usr/bin/env bash
# make test-debian: the README's two commands, `make run` and `make test`,
# on another release of Debian, as a newcomer there would type them: in a
# minimal root of that release made from Debian's archive with debootstrap,
# in a clean clone of HEAD, as an ordinary user whose set-up goes through
# sudo. The archive is the one this machine's own apt configuration names.
#   scripts/test-debian.sh RELEASE [COMMAND...]
# RELEASE is the release's number (12, 13). A COMMAND, run by the user in
# the clone, replaces the two commands (for example: bash).
# The root is kept in build/roots/debian<N> (KESTRANA_ROOTS chooses another
# folder) and reused by the next run; the clone in it is made afresh each
# time. Everything runs in a mount and process namespace of its own: when
# the run ends, however it ends, its mounts and processes end with it.
# Needs root (debootstrap, mounts, chroot).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

if [ "$(id -u)" -ne 0 ]; then
  echo "test-debian: needs root (it makes a Debian root with debootstrap and enters it with chroot); run it as root or with sudo" >&2
  exit 1
fi

. "$root/scripts/debian-release.sh"
number=${1:-}
codename=$([ -n "$number" ] && kestrana_debian_codename "$number" || true)
if [ -z "$codename" ]; then
  echo "test-debian: '$number' is not the number of a Debian release (12, 13)" >&2
  exit 2
fi

cache=${KESTRANA_ROOTS:-$root/build/roots}/debian$number
rootfs=$cache/root
user=newcomer

# Inside the namespaces: mount what a running system has, enter the root,
# run the two commands there.
if [ "${2:-}" = --inside ]; then
  shift 2
  mounts=()
  cleanup() {
    local i
    for ((i = ${#mounts[@]} - 1; i >= 0; i--)); do umount -l "${mounts[i]}" 2>/dev/null || true; done
  }
  trap cleanup EXIT
  bind() { mount "$@"; mounts+=("${*: -1}"); }
  bind -t proc proc "$rootfs/proc"
  bind -t sysfs sysfs "$rootfs/sys"
  bind --bind /dev "$rootfs/dev"
  bind --bind /dev/pts "$rootfs/dev/pts"
  bind -t tmpfs tmpfs "$rootfs/dev/shm"
  # The machine's /tmp: the virtual displays of both sides see each other's
  # locks (X servers share abstract sockets across a chroot).
  bind --bind /tmp "$rootfs/tmp"
  cp /etc/resolv.conf /etc/hosts "$rootfs/etc/"
  echo "test-debian: Debian $(cat "$rootfs/etc/debian_version") ($codename), commit $KESTRANA_COMMIT, as $user through sudo" >&2
  status=0
  if [ "$#" -ne 0 ]; then
    chroot "$rootfs" sudo -u "$user" -H bash -lc 'cd ~/kestrana && "$@"' bash "$@" || status=$?
    exit "$status"
  fi
  chroot "$rootfs" sudo -u "$user" -H bash -lc 'cd ~/kestrana && make run && make test' || status=$?
  wine=$(chroot "$rootfs" /usr/lib/wine/wine64 --version 2>/dev/null || echo "no Wine")
  verdict=passed
  [ "$status" -eq 0 ] || verdict="failed (exit $status)"
  echo "test-debian: Debian $(cat "$rootfs/etc/debian_version") ($codename), $wine: make run and make test $verdict"
  exit "$status"
fi

# The other release's archive: this machine's entries for its own release,
# renamed.
mapfile -t entries < <(kestrana_archive_entries "$codename")
mirror=$(printf '%s\n' "${entries[@]}" | awk -v t="$codename" '$2 == t { print $1; exit }')
if [ -z "$mirror" ]; then
  echo "test-debian: this machine's apt configuration names no Debian archive for its own release" >&2
  exit 1
fi

# The root, made once: debootstrap's minimal variant with what a newcomer
# has before typing the two commands (make, sudo, git to have cloned), and
# an ordinary user who may use sudo.
if [ ! -f "$cache/complete" ]; then
  command -v debootstrap >/dev/null || { echo "test-debian: debootstrap is missing; run scripts/setup.sh" >&2; exit 1; }
  rm -rf "$cache"
  mkdir -p "$cache"
  echo "test-debian: making a Debian $number ($codename) root in $rootfs from $mirror" >&2
  debootstrap --variant=minbase --include=make,sudo,git,ca-certificates "$codename" "$rootfs" "$mirror" \
    >"$cache/debootstrap.log" 2>&1 || { tail -n 30 "$cache/debootstrap.log" >&2; echo "test-debian: debootstrap failed" >&2; exit 1; }
  rm -f "$rootfs/etc/apt/sources.list"
  {
    printf '%s\n' "${entries[@]}" | while read -r uri suite component; do
      printf 'Types: deb\nURIs: %s\nSuites: %s\nComponents: %s\nSigned-By: /usr/share/keyrings/debian-archive-keyring.gpg\n\n' \
        "$uri" "$suite" "$component"
    done
  } >"$rootfs/etc/apt/sources.list.d/debian.sources"
  chroot "$rootfs" useradd --create-home --shell /bin/bash "$user"
  echo "$user ALL=(ALL) NOPASSWD: ALL" >"$rootfs/etc/sudoers.d/$user"
  chmod 440 "$rootfs/etc/sudoers.d/$user"
  touch "$cache/complete"
fi

# A clean clone of HEAD, owned by the user.
clone=$rootfs/home/$user/kestrana
rm -rf "$clone"
git clone --quiet --no-hardlinks "$root" "$clone"
KESTRANA_COMMIT=$(git -C "$clone" rev-parse --short HEAD)
export KESTRANA_COMMIT
chroot "$rootfs" chown -R "$user:$user" "/home/$user/kestrana"

release=$1
shift
exec unshare --mount --pid --fork --propagation private bash "$0" "$release" --inside "$@"
