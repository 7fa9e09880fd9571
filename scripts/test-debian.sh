#!/usr/bin/env bash
# make test-debian: the README's two commands, `make run` and `make test`,
# on a release of Debian as a newcomer there would type them: on a fresh
# minimal system of that release, made from Debian's archive with
# debootstrap, in a clean clone of HEAD, as an ordinary user whose set-up
# goes through sudo. The archive is the one this machine's own apt
# configuration names.
#   scripts/test-debian.sh [--refuse-32bit [--no-user-namespaces]] [RELEASE [COMMAND...]]
# RELEASE is the release's number (12, 13), `this` (the release of this
# machine) or `other` (the other of the two, the default). A COMMAND, run
# by the user in the clone, replaces the two commands (for example: bash).
# --refuse-32bit makes the kernel refuse the tree's 32-bit probe there, as
# on a machine that runs no 32-bit code, and afterwards checks what the
# set-up decided there: the i386 architecture, the 32-bit Wine and the
# emulator (qemu-user 10 or later; on Debian 12 from its backports, and
# nothing else from there), and none of the packages that register an
# emulator for the whole machine; where make test ran, that it said both
# suites of the 32-bit build (a 32-bit prefix, WOW64) ran under emulation.
# --no-user-namespaces also makes the kernel refuse every new user
# namespace to what runs there, as a kernel with user namespaces turned off
# does, so that the emulator's namespace cannot be made: then the set-up
# must add no foreign architecture and install no i386 package, and make
# test must say that the 32-bit and WOW64 suites were not run.
#
# The pristine root, as debootstrap left it plus the user, is kept in
# build/roots/debian<N>/pristine (KESTRANA_ROOTS chooses another folder than
# build/roots). Each run starts from a fresh copy of it, an overlay whose
# changes are thrown away afterwards, so that the set-up is tested every
# time; the packages it downloads are kept beside the root and lent to the
# next copy. Everything runs in a mount and process namespace of its own,
# debootstrap included: when the run ends, however it ends, its mounts and
# processes end with it. The root is entered with pivot_root, in a mount
# namespace of its own, not with chroot: a process in a chroot can make no
# user namespace, which the emulator's namespace needs. Needs root
# (debootstrap, mounts).
kestrana_label=test-debian
. "$(dirname "$0")/machine.sh"
kestrana_strict
. "$kestrana_root/scripts/wine-env.sh"

[ "$(id -u)" -eq 0 ] ||
  kestrana_fail 1 "needs root (it makes a Debian root with debootstrap and mounts it); run it as root or with sudo"

refuse_32bit="" no_userns=""
if [ "${1:-}" = --refuse-32bit ]; then
  refuse_32bit=1
  shift
  if [ "${1:-}" = --no-user-namespaces ]; then
    no_userns=1
    shift
  fi
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
  unshare --mount --pid --fork --propagation private -- ${refuse_32bit:+--refuse-32bit} ${no_userns:+--no-user-namespaces} \
  "$number" "${commands[@]}"

# The roots' folder is handled under a plain name, bound in this namespace
# alone (on a /mnt of its own, which goes with it): the tree's folder may
# hold a space, which debootstrap's "chroot $TARGET" splits, or a comma,
# which overlayfs takes for the end of a folder.
roots=${KESTRANA_ROOTS:-$kestrana_root/build/roots}/debian$number
mkdir -p "$roots"
kestrana_step "mount tmpfs on /mnt (this namespace's own)" mount -t tmpfs -o mode=755 tmpfs /mnt
cache=/mnt/roots
mkdir "$cache"
kestrana_step "mount --bind ($roots as $cache)" mount --bind "$roots" "$cache"
pristine=$cache/pristine
user=newcomer
# Before, one root was kept that every run changed.
rm -rf --one-file-system "$cache/root" "$cache/complete"

# The other release's archive: this machine's entries for its own release,
# renamed.
entries=$(kestrana_archive_entries "$codename" || true)
mirror=$(awk -v t="$codename" '$2 == t { print $1; exit }' <<<"$entries")
[ -n "$mirror" ] || kestrana_fail 1 "this machine's apt configuration names no Debian archive for its own release"

# in_root ROOT COMMAND...: the command in ROOT (a mount point, with its
# /proc mounted), entered with
# pivot_root in a mount namespace of its own, the old root put on the root's
# empty /mnt and detached from there, so that what runs there can make
# namespaces of its own as on a real system.
# The command runs under in_root_with, when set (the user namespaces'
# filter).
in_root_with=()
in_root() {
  local root=$1
  shift
  "${in_root_with[@]}" unshare --mount --propagation private -- \
    /bin/sh -c 'cd "$1" && shift && pivot_root . mnt && cd / && umount -l /mnt && exec "$@"' sh "$root" "$@"
}

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
    kestrana_fail 1 "debootstrap of Debian $number ($codename) failed; its log is $roots/debootstrap.log"
  fi
  # debootstrap's own mounts of proc and sys are in this namespace only;
  # the root is kept without them.
  umount -R "$pristine/proc" "$pristine/sys" 2>/dev/null || true
  rm -f "$pristine/etc/apt/sources.list"
  while read -r uri suite component; do
    printf 'Types: deb\nURIs: %s\nSuites: %s\nComponents: %s\nSigned-By: /usr/share/keyrings/debian-archive-keyring.gpg\n\n' \
      "$uri" "$suite" "$component"
  done <<<"$entries" >"$pristine/etc/apt/sources.list.d/debian.sources"
  # Entered as every root is: a mount point with its /proc (umount reads it).
  kestrana_step "mount --bind (the pristine root, to enter it)" mount --bind "$pristine" "$pristine"
  kestrana_step "mount proc (in the pristine root)" mount -t proc proc "$pristine/proc"
  kestrana_step "useradd $user" in_root "$pristine" useradd --create-home --shell /bin/bash "$user"
  echo "$user ALL=(ALL) NOPASSWD: ALL" >"$pristine/etc/sudoers.d/$user"
  chmod 440 "$pristine/etc/sudoers.d/$user"
  umount "$pristine/proc" "$pristine"
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
kestrana_step "chown (the clone)" in_root "$rootfs" chown -R "$user:$user" "/home/$user/kestrana"
if [ -n "$refuse_32bit" ]; then
  kestrana_make_refused "$run/refused"
  kestrana_bind_refused "$run/refused" "$probe"
fi

release="Debian $(cat "$rootfs/etc/debian_version") ($codename)"
refusing=${refuse_32bit:+, the kernel refusing 32-bit programs}${no_userns:+ and user namespaces}
echo "test-debian: $release, commit $commit, as $user through sudo$refusing" >&2
if [ "${#commands[@]}" -eq 0 ]; then
  script='make run && make test' what="make run and make test"
else
  script='"$@"' what="'${commands[*]}'"
fi
# Whether make test was among them, for what its output must say.
ran_test=""
[[ "$what" != *"make test"* ]] || ran_test=1
# Without user namespaces: a filter the kernel applies to everything that
# runs there (scripts/refuse-user-namespaces.py).
[ -z "$no_userns" ] || in_root_with=(python3 "$kestrana_root/scripts/refuse-user-namespaces.py")
log=$run/commands.log
status=0
in_root "$rootfs" sudo -u "$user" -H bash -lc "cd ~/kestrana && $script" bash "${commands[@]}" 2>&1 |
  tee "$log" || status=$?
in_root_with=()
[ "$status" -eq 0 ] || kestrana_fail "$status" "$what in $release failed with status $status"
wine=$(in_root "$rootfs" /usr/lib/wine/wine64 --version 2>/dev/null || echo "no Wine")

# in_root_query COMMAND...: what the command prints in the root, on one line.
in_root_query() { in_root "$rootfs" "$@" | paste -sd' '; }

if [ -n "$no_userns" ]; then
  # The set-up's own decision: nothing 32-bit where nothing can run it.
  foreign=$(in_root_query dpkg --print-foreign-architectures)
  i386=$(in_root "$rootfs" dpkg-query -W -f '${binary:Package}\n' | grep ':i386$' | paste -sd' ' || true)
  [ -z "$foreign" ] || kestrana_fail 1 "the set-up added the foreign architecture $foreign where 32-bit programs can neither run nor be emulated"
  [ -z "$i386" ] || kestrana_fail 1 "the set-up installed i386 packages where 32-bit programs can neither run nor be emulated: $i386"
  if [ -n "$ran_test" ]; then
    grep -q '^test: the 32-bit suite and the WOW64 suite were not run: this machine cannot run 32-bit programs (the kernel refuses.*nor emulate them: no user namespace' "$log" ||
      kestrana_fail 1 "make test passed, but did not say that the 32-bit and WOW64 suites were not run because 32-bit programs can neither run nor be emulated"
  fi
  what="$what passed; the set-up added no foreign architecture and no i386 package${ran_test:+, and make test said why the 32-bit and WOW64 suites were not run}"
elif [ -n "$refuse_32bit" ]; then
  # The set-up's own decision: the 32-bit Wine and the emulator, the
  # emulator of a version that runs Wine, on Debian 12 from the backports
  # and nothing else from there, and nothing that registers an emulator for
  # the whole machine.
  foreign=$(in_root_query dpkg --print-foreign-architectures)
  [ "$foreign" = i386 ] || kestrana_fail 1 "the set-up did not add the i386 architecture for the emulated 32-bit Wine (foreign architectures: ${foreign:-none})"
  installed=$(in_root "$rootfs" dpkg-query -W -f '${db:Status-Abbrev} ${binary:Package} ${Version}\n')
  grep -q '^ii  wine32:i386 ' <<<"$installed" || kestrana_fail 1 "the set-up did not install wine32:i386 for the emulator"
  qemu=$(awk '$1 == "ii" && $2 == "qemu-user" { print $3 }' <<<"$installed")
  [ -n "$qemu" ] || kestrana_fail 1 "the set-up did not install qemu-user"
  in_root "$rootfs" dpkg --compare-versions "$qemu" ge 1:10 || kestrana_fail 1 "the set-up installed qemu-user $qemu; the 32-bit Wine needs 10 or later"
  forbidden=$(awk '$1 == "ii" && ($2 == "qemu-user-static" || $2 == "qemu-user-binfmt" || $2 == "binfmt-support") { print $2 }' <<<"$installed" | paste -sd' ')
  [ -z "$forbidden" ] || kestrana_fail 1 "the set-up installed $forbidden, which registers emulators for the whole machine"
  # Each installed package whose installed version apt-cache policy says
  # comes from a backports suite.
  from_backports=$(in_root "$rootfs" sh -c "dpkg-query -W -f '\${binary:Package}\n' | xargs apt-cache policy" | awk '
    /^[^ ]/ { package = $1; sub(/:$/, "", package); installed = 0; next }
    /^ \*\*\* / { installed = 1; next }
    /^     [^ ]/ { installed = 0 }
    installed && /-backports\// { print package; installed = 0 }' | sort -u | paste -sd' ')
  if [ "$number" -lt 13 ]; then
    [ "$from_backports" = qemu-user ] ||
      kestrana_fail 1 "apt-cache policy says the installed packages from the backports are '${from_backports:-none}', not qemu-user alone"
  else
    [ -z "$from_backports" ] || kestrana_fail 1 "the set-up installed $from_backports from the backports on Debian $number, whose own emulator serves"
  fi
  if [ -n "$ran_test" ]; then
    for suite in 32-bit WOW64; do
      grep -q "^test: the $suite suite ran under emulation (qemu-i386 [0-9][0-9.]*): the kernel refuses 32-bit programs\$" "$log" ||
        kestrana_fail 1 "make test passed, but did not say that its $suite suite ran under emulation"
    done
  fi
  what="$what passed; the set-up added i386, wine32:i386 and qemu-user $qemu${from_backports:+ (from the backports, alone)}, and nothing that registers an emulator for the machine${ran_test:+, and make test ran the 32-bit and WOW64 suites under emulation}"
else
  what="$what passed"
fi
echo "test-debian: $release, $wine$refusing: $what"
