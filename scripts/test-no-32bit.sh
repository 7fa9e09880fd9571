#!/usr/bin/env bash
# make test-no-32bit: the README's two commands, `make run` and `make test`,
# as on a machine whose kernel runs no 32-bit code, whatever this one runs.
# In a private mount namespace, a stand-in that every x86-64 kernel refuses
# is bound over the tree's 32-bit probe and over the 32-bit Wine loader
# (where one is installed), so that the kernel refuses both, as it does
# there. Then it checks what it rehearses: `make run` named the 64-bit
# program and the reason, and saved a picture newer than the rehearsal's
# start; `make test` said that the 32-bit suite was not run, and passed.
# Needs root (mounts).
#   scripts/test-no-32bit.sh [TREE]
# TREE, this tree by default, is where the two commands run.
kestrana_label=test-no-32bit
. "$(dirname "$0")/machine.sh"
kestrana_strict
. "$kestrana_root/scripts/wine-env.sh"

[ "$(id -u)" -eq 0 ] || kestrana_fail 1 "needs root (it binds stand-ins over files in a mount namespace); run it as root or with sudo"
tree=$(cd "${1:-$kestrana_root}" && pwd)
kestrana_reexec KESTRANA_NAMESPACE "unshare (a private mount namespace)" \
  unshare --mount --propagation private -- "$tree"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
kestrana_make_refused "$work/refused"
probe=$tree/build/probe/exit32
kestrana_make_probe "$probe"
kestrana_bind_refused "$work/refused" "$probe"
refused="the tree's 32-bit probe"
loader=${kestrana_loaders[win32]}
if [ -e "$loader" ]; then
  kestrana_bind_refused "$work/refused" "$loader"
  refused="$refused and the 32-bit Wine loader"
fi
echo "test-no-32bit: the kernel now refuses $refused; make run and make test in $tree" >&2
# Headless, as in CI: make run saves its picture.
unset DISPLAY
touch "$work/start"

# rehearse COMMAND: make COMMAND in the tree, its output shown and kept in
# $work/COMMAND.log.
rehearse() {
  local status=0
  make -C "$tree" "$1" 2>&1 | tee "$work/$1.log" || status=$?
  [ "$status" -eq 0 ] || kestrana_fail "$status" "make $1 failed with status $status"
}

rehearse run
grep -q '^run: the 64-bit program, build/win64/Kestrana.exe: this machine cannot run 32-bit programs (the kernel refuses' \
  "$work/run.log" || kestrana_fail 1 "make run passed, but did not say that it showed the 64-bit program because the kernel refuses 32-bit programs"
[ "$tree/build/screenshots/main.png" -nt "$work/start" ] ||
  kestrana_fail 1 "make run passed, but saved no picture after the rehearsal started ($tree/build/screenshots/main.png)"
rehearse test
grep -q '^test: the 32-bit suite was not run: this machine cannot run 32-bit programs (the kernel refuses' \
  "$work/test.log" || kestrana_fail 1 "make test passed, but did not say that the 32-bit suite was not run because the kernel refuses 32-bit programs"
echo "test-no-32bit: with the kernel refusing $refused, make run showed the 64-bit program and saved its picture, and make test passed without the 32-bit suite"
