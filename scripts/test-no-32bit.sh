#!/usr/bin/env bash
# make test-no-32bit: the README's two commands, `make run` and `make test`,
# as on a machine whose kernel runs no 32-bit code, whatever this one runs.
# In a private mount namespace, a stand-in that every x86-64 kernel refuses
# is bound over the tree's 32-bit probe, so that the kernel refuses it, as
# it does there. The 32-bit Wine loader is left as it is: inside the
# emulator's namespace, binfmt_misc's entries are tried before the kernel's
# own loader, so the emulator runs it even where the kernel could. Then it
# checks what it rehearses: `make run` named the 64-bit program and the
# reason, and saved a picture newer than the rehearsal's start;
# `KESTRANA_ARCH=win32 make run` showed the 32-bit one under the emulator;
# `make test` said that both suites of the 32-bit build (a named subset of
# each), in a 32-bit prefix and under WOW64, ran under emulation (lines the
# sessions write only once they have seen a 32-bit Wine process of their
# prefix run as the emulator), and passed. Needs root (mounts).
#   scripts/test-no-32bit.sh [TREE]
# TREE, this tree by default, is where the commands run.
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
echo "test-no-32bit: the kernel now refuses the tree's 32-bit probe; make run and make test in $tree" >&2
# Headless, as in CI: make run saves its picture.
unset DISPLAY
touch "$work/start"

# rehearse NAME COMMAND...: the command in the tree, its output shown and
# kept in $work/NAME.log.
rehearse() {
  local name=$1 status=0
  shift
  (cd "$tree" && "$@") 2>&1 | tee "$work/$name.log" || status=$?
  [ "$status" -eq 0 ] || kestrana_fail "$status" "$* failed with status $status"
}

rehearse run make run
grep -q '^run: the 64-bit program, build/win64/Kestrana.exe: this machine cannot run 32-bit programs (the kernel refuses.*KESTRANA_ARCH=win32 shows the 32-bit one under emulation$' \
  "$work/run.log" || kestrana_fail 1 "make run passed, but did not say that it showed the 64-bit program because the kernel refuses 32-bit programs, nor how to show the 32-bit one"
[ "$tree/build/screenshots/main.png" -nt "$work/start" ] ||
  kestrana_fail 1 "make run passed, but saved no picture after the rehearsal started ($tree/build/screenshots/main.png)"
rehearse run32 env KESTRANA_ARCH=win32 make run
grep -q '^run: the 32-bit program, build/win32/Kestrana.exe: KESTRANA_ARCH=win32, under the emulator in a private namespace: the kernel refuses 32-bit programs$' \
  "$work/run32.log" || kestrana_fail 1 "KESTRANA_ARCH=win32 make run passed, but did not say that it showed the 32-bit program under the emulator"
# make test has run every case on this machine already; the rehearsal runs
# a named subset of them, the same in every suite, one or more of each
# kind: the registry and the dialog loop of the platform layer, and of the
# real program its controls, a write of the start value, its icons, the
# library search, the GDI count and a restart (a case with a prefix of its
# own). Both suites of the 32-bit build run them under the emulator, in a
# 32-bit prefix and under WOW64; the 64-bit suite runs them natively, as it
# does on such a machine.
subset='(RegistryTest.|DialogTest.|MainWindow.ControlsInStackingOrder|StartMode.ApplyWrites|StartMode.ApplyCreates|About.ControlsInStackingOrder|InfoWindows.|LibrarySearch.|Restart.Yes)'
rehearse test env "KESTRANA_WINE_CTEST_ARGS_win32=-R ^(platform|e2e)32.$subset" \
  "KESTRANA_WINE_CTEST_ARGS_wow64=-R ^(platform|e2e)wow64.$subset" \
  "KESTRANA_WINE_CTEST_ARGS_win64=-R ^(platform|e2e)64.$subset" make test
for suite in 32-bit WOW64; do
  grep -q "^test: the $suite suite ran under emulation (qemu-i386 [0-9][0-9.]*): the kernel refuses 32-bit programs\$" \
    "$work/test.log" || kestrana_fail 1 "make test passed, but did not say that its $suite suite ran under emulation"
done
echo "test-no-32bit: with the kernel refusing the 32-bit probe, make run showed the 64-bit program and saved its picture, KESTRANA_ARCH=win32 make run showed the 32-bit one under the emulator, and make test passed with the 32-bit and WOW64 suites (a named subset of each) under emulation"
