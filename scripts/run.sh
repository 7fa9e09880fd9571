#!/usr/bin/env bash
# Runs Kestrana.exe under Wine: the 32-bit program (build/win32) where this
# machine runs 32-bit programs, otherwise the 64-bit one (build/win64),
# saying which and why. KESTRANA_ARCH=win32|win64 chooses instead, and
# KESTRANA_ARCH=wow64 shows the 32-bit one in a 64-bit prefix, as 64-bit
# Windows runs it; where the kernel refuses 32-bit programs, the 32-bit one
# runs under the emulator, in a private namespace that ends with the run.
# With a display it simply runs there. Without one it runs on a virtual
# display, saves a screenshot of the main window to
# build/screenshots/main.png and closes it. Either way it waits for Wine to
# finish and prints the program's exit code, which is its own.
# The prefix is always the tree's own, build/wine/run-prefix-ARCH: an
# exported WINEPREFIX, which may be a prefix of the user's, is left aside.
kestrana_label=run
. "$(dirname "$0")/machine.sh"
kestrana_strict
. "$kestrana_root/scripts/wine-env.sh"
kestrana_choose_arch run
kestrana_emulated_namespace --keep-display "$@"
kestrana_fixed_layout "$@"
[ -n "${DISPLAY:-}" ] || kestrana_virtual_display "$@"
kestrana_say_arch
exe="$kestrana_build/Kestrana.exe"
[ -f "$exe" ] || kestrana_fail 1 "$exe is missing; run make first"
own_prefix="$kestrana_root/build/wine/run-prefix-$kestrana_arch"
if [ -n "${WINEPREFIX:-}" ] && [ "$WINEPREFIX" != "$own_prefix" ]; then
  echo "run: WINEPREFIX=$WINEPREFIX is left aside; the program runs in the tree's own prefix, $own_prefix" >&2
fi
export WINEPREFIX=$own_prefix
kestrana_init_prefix

# The program's exit code, after Wine has finished.
finish() {
  local status=$1
  kestrana_step "wineserver -w (waiting for Wine to finish)" wineserver -w
  echo "run: Kestrana.exe exited with code $status"
  exit "$status"
}

if [ -z "${KESTRANA_XVFB:-}" ]; then
  status=0
  kestrana_wine "$exe" || status=$?
  finish "$status"
fi

shots="$kestrana_root/build/screenshots"
mkdir -p "$shots"
kestrana_wine "$exe" &
program=$!
# Wait for the main window, take its picture, then close it like a user.
window=""
for _ in $(seq 100); do
  window=$(xwininfo -root -tree 2>/dev/null | awk '/"Kestrana":/ {print $1; exit}')
  [ -n "$window" ] && break
  kill -0 "$program" 2>/dev/null || break
  sleep 0.1
done
if [ -z "$window" ]; then
  if ! kill -0 "$program" 2>/dev/null; then
    status=0
    wait "$program" || status=$?
    kestrana_fail "$((status == 0 ? 1 : status))" "Kestrana.exe exited with code $status before its main window appeared"
  fi
  kestrana_end_wine
  kestrana_fail 1 "the main window did not appear within 10 s; Wine was ended"
fi
sleep 0.5
kestrana_step "import (the screenshot of the main window)" import -window "$window" "$shots/main.png"
echo "run: screenshot saved to $shots/main.png"
# Wine's own taskkill, without /f, posts WM_CLOSE to the program's windows,
# as the close box would: nothing beyond the program has to be built.
kestrana_quiet_step "taskkill /im Kestrana.exe" kestrana_wine taskkill /im Kestrana.exe
status=0
wait "$program" || status=$?
finish "$status"
