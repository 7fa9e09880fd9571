#!/usr/bin/env bash
# make test-debian: the README's two commands, `make run` and `make test`,
# on a release of Debian as a newcomer there would type them: on a fresh
# minimal system of that release, made from Debian's archive with
# debootstrap, in a clean clone of HEAD, as an ordinary user whose set-up
# goes through sudo. The archive is the one this machine's own apt
# configuration names.
#   scripts/test-debian.sh [--refuse-32bit] [RELEASE [COMMAND...]]
# RELEASE is the release's number (12, 13), `this` (the release of this
# machine) or `other` (the other of the two, the default). A COMMAND, run
# by the user in the clone, replaces the two commands (for example: bash).
# --refuse-32bit makes the kernel refuse the tree's 32-bit probe there, as
# on a machine that runs no 32-bit code, and afterwards checks that the
# set-up added no foreign architecture and installed no i386 package.
#
# The pristine root, as debootstrap left it plus the user, is kept in
# build/roots/debian<N>/pristine (KESTRANA_ROOTS chooses another folder than
# build/roots). Each run starts from a fresh copy of it, an overlay whose
# changes are thrown away afterwards, so that the set-up is tested every
# time; the packages it downloads are kept beside the root and lent to the
# next copy. Everything runs in a mount and process namespace of its own,
# debootstrap included: when the run ends, however it ends, its mounts and
# processes end with it. Needs root (debootstrap, mounts, chroot).
kestrana_label=test-debian
. "$(dirname "$0")/machine.sh"
kestrana_strict
. "$kestrana_root/scripts/wine-env.sh"

[ "$(id -u)" -eq 0 ] ||
  kestrana_fail 1 "needs root (it makes a Debian root with debootstrap and enters it with chroot); run it as root or with sudo"

refuse_32bit=""
if [ "${1:-}" = --refuse-32bit ]; then
  refuse_32bit=1
  shift
fi
number=${1:-other}
case "$number" in
  this) number=$(kestrana_debian_number) ;;
  other) number=13
         [ "$(kestrana_debian_number)" != 13 ] || number=12 ;;
esac
codename=$(kestrana_debian_codename "$number" || true)
[ -n "$codename" ] || kestrana_fail 2 "'$number' is not the number of a Debian release (12, 13)"
shift $(($# > 0 ? 1 : 0))
commands=("$@")

# The run itself, in namespaces of its own. The first run only warns.
if [ -z "${KESTRANA_NAMESPACE:-}" ]; then
  kestrana_warn_uncommitted "the test of Debian $number"
fi
kestrana_reexec KESTRANA_NAMESPACE "unshare (a private mount and process namespace)" \
  unshare --mount --pid --fork --propagation private -- ${refuse_32bit:+--refuse-32bit} "$number" "${commands[@]}"

cache=${KESTRANA_ROOTS:-$kestrana_root/build/roots}/debian$number
pristine=$cache/pristine
user=newcomer
# Before, one root was kept that every run changed.
rm -rf --one-file-system "$cache/root" "$cache/complete"

# The other release's archive: this machine's entries for its own release,
# renamed.
entries=$(kestrana_archive_entries "$codename" || true)
mirror=$(awk -v t="$codename" '$2 == t { print $1; exit }' <<<"$entries")
[ -n "$mirror" ] || kestrana_fail 1 "this machine's apt configuration names no Debian archive for its own release"

# The pristine root, made once: debootstrap's minimal variant with what a
# newcomer has before typing the two commands (make, sudo, git to have
# cloned), the archive, and an ordinary user who may use sudo. A root left
# incomplete is made again; nothing can be mounted in it out here.
if [ ! -f "$pristine.complete" ]; then
  command -v debootstrap >/dev/null || kestrana_fail 1 "debootstrap is missing; run scripts/setup.sh"
  rm -rf --one-file-system "$pristine"
  mkdir -p "$cache"
  echo "test-debian: making a Debian $number ($codename) root in $pristine from $mirror" >&2
  if ! debootstrap --variant=minbase --include=make,sudo,git,ca-certificates "$codename" "$pristine" "$mirror" \
    >"$cache/debootstrap.log" 2>&1; then
    tail -n 30 "$cache/debootstrap.log" >&2
    kestrana_fail 1 "debootstrap of Debian $number ($codename) failed; its log is $cache/debootstrap.log"
  fi
  # debootstrap's own mounts of proc and sys are in this namespace only;
  # the root is kept without them.
  umount -R "$pristine/proc" "$pristine/sys" 2>/dev/null || true
  rm -f "$pristine/etc/apt/sources.list"
  while read -r uri suite component; do
    printf 'Types: deb\nURIs: %s\nSuites: %s\nComponents: %s\nSigned-By: /usr/share/keyrings/debian-archive-keyring.gpg\n\n' \
      "$uri" "$suite" "$component"
  done <<<"$entries" >"$pristine/etc/apt/sources.list.d/debian.sources"
  kestrana_step "useradd $user" chroot "$pristine" useradd --create-home --shell /bin/bash "$user"
  echo "$user ALL=(ALL) NOPASSWD: ALL" >"$pristine/etc/sudoers.d/$user"
  chmod 440 "$pristine/etc/sudoers.d/$user"
  touch "$pristine.complete"
fi

# A fresh copy of it: an overlay, thrown away when the run ends (a run
# that was killed left its changes behind: they go first).
run=$cache/run
rm -rf --one-file-system "$run"
mkdir -p "$run/changes" "$run/work" "$run/root" "$cache/apt-archives/partial"
rootfs=$run/root
# The root shares this machine's /tmp (see below), where Wine keeps each
# prefix's server folder: those of the prefixes the tree keeps there
# (make run's) go with the copy.
forget_root() {
  local prefix dir
  for prefix in "$rootfs/home/$user/kestrana/build/wine"/*/; do
    dir=$(TMPDIR=/tmp kestrana_server_dir "${prefix%/}") && rm -rf "$dir"
  done
  umount -R "$rootfs" 2>/dev/null || true
  rm -rf --one-file-system "$run"
}
trap forget_root EXIT
kestrana_step "mount (an overlay over the pristine root)" \
  mount -t overlay overlay -o "lowerdir=$pristine,upperdir=$run/changes,workdir=$run/work" "$rootfs"
# What a running system has, and the packages earlier runs downloaded.
kestrana_step "mount proc" mount -t proc proc "$rootfs/proc"
kestrana_step "mount sysfs" mount -t sysfs sysfs "$rootfs/sys"
kestrana_step "mount --bind /dev" mount --bind /dev "$rootfs/dev"
kestrana_step "mount --bind /dev/pts" mount --bind /dev/pts "$rootfs/dev/pts"
kestrana_step "mount tmpfs on /dev/shm" mount -t tmpfs tmpfs "$rootfs/dev/shm"
# The machine's /tmp: the virtual displays of both sides see each other's
# locks (X servers share abstract sockets across a chroot).
kestrana_step "mount --bind /tmp" mount --bind /tmp "$rootfs/tmp"
kestrana_step "mount --bind (the package cache)" mount --bind "$cache/apt-archives" "$rootfs/var/cache/apt/archives"
cp /etc/resolv.conf /etc/hosts "$rootfs/etc/"

# A clean clone of HEAD, owned by the user.
clone=$rootfs/home/$user/kestrana
git clone --quiet --no-hardlinks "$kestrana_root" "$clone"
commit=$(git -C "$clone" rev-parse --short HEAD)
probe=$clone/build/probe/exit32
[ -z "$refuse_32bit" ] || kestrana_make_probe "$probe"
kestrana_step "chown (the clone)" chroot "$rootfs" chown -R "$user:$user" "/home/$user/kestrana"
if [ -n "$refuse_32bit" ]; then
  kestrana_make_refused "$run/refused"
  kestrana_bind_refused "$run/refused" "$probe"
fi

release="Debian $(cat "$rootfs/etc/debian_version") ($codename)"
refusing=${refuse_32bit:+, the kernel refusing 32-bit programs}
echo "test-debian: $release, commit $commit, as $user through sudo$refusing" >&2
if [ "${#commands[@]}" -eq 0 ]; then
  script='make run && make test' what="make run and make test"
else
  script='"$@"' what="'${commands[*]}'"
fi
status=0
chroot "$rootfs" sudo -u "$user" -H bash -lc "cd ~/kestrana && $script" bash "${commands[@]}" || status=$?
[ "$status" -eq 0 ] || kestrana_fail "$status" "$what in $release failed with status $status"
wine=$(chroot "$rootfs" /usr/lib/wine/wine64 --version 2>/dev/null || echo "no Wine")
if [ -n "$refuse_32bit" ]; then
  # The set-up's own decision: nothing 32-bit on a machine that cannot run it.
  foreign=$(chroot "$rootfs" dpkg --print-foreign-architectures | paste -sd' ')
  i386=$(chroot "$rootfs" dpkg-query -W -f '${binary:Package}\n' | grep ':i386$' | paste -sd' ' || true)
  [ -z "$foreign" ] || kestrana_fail 1 "the set-up added the foreign architecture $foreign on a machine that runs no 32-bit code"
  [ -z "$i386" ] || kestrana_fail 1 "the set-up installed i386 packages on a machine that runs no 32-bit code: $i386"
  what="$what passed, and the set-up added no foreign architecture and no i386 package"
else
  what="$what passed"
fi
echo "test-debian: $release, $wine$refusing: $what"
