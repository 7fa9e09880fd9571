#!/usr/bin/env bash
# Regenerates the README's pictures of the three windows, docs/main.png,
# docs/about.png and docs/changelog.png: the real program under Wine on a
# virtual display, in a prefix of its own that holds the Windows default
# start value (3, "手动启用"). The end-to-end driver opens the About and
# change-log windows and tells where each window is; ImageMagick cuts it out
# of the screen. The pictures carry no time chunks, so the same windows give
# the same files. The 32-bit program is shown where this machine runs
# 32-bit programs, otherwise the 64-bit one (KESTRANA_ARCH chooses instead;
# KESTRANA_ARCH=win32 shows it under the emulator where the kernel refuses
# 32-bit programs).
kestrana_label=screenshots
. "$(dirname "$0")/machine.sh"
kestrana_strict
. "$kestrana_root/scripts/wine-env.sh"
kestrana_choose_arch screenshots
kestrana_emulated_namespace "$@"
kestrana_fixed_layout "$@"
kestrana_virtual_display "$@"
kestrana_say_arch
exe="$kestrana_build/Kestrana.exe"
driver="$kestrana_build/tests/e2e/kestrana_e2e.exe"
for f in "$exe" "$driver"; do
  [ -f "$f" ] || kestrana_fail 1 "$f is missing; run make screenshots"
done

docs="$kestrana_root/docs"
# Under the emulator, the prefix lies in the namespace's own /tmp, and goes
# with it however the run ends.
base=$kestrana_root/build/wine
[ -z "$kestrana_arch_emulated" ] || base=/tmp
mkdir -p "$base" "$docs"
WINEPREFIX=$(mktemp -d "$base/shots.XXXXXX")
export WINEPREFIX
trap 'kestrana_end_wine --remove' EXIT

kestrana_init_prefix
kestrana_quiet_step "reg add (the start value 3)" \
  kestrana_wine reg add 'HKLM\System\CurrentControlSet\Services\USBSTOR' /v Start /t REG_DWORD /d 3 /f

# shot NAME CAPTION: the window with that caption, frame and title included.
shot() {
  local geometry
  geometry=$(kestrana_wine "$driver" --window-rect "$2" | tr -d '\r') ||
    kestrana_fail 1 "the driver found no window '$2' (kestrana_e2e.exe --window-rect)"
  # Time to paint after the window was shown.
  sleep 0.7
  kestrana_step "import (docs/$1.png)" import -window root -crop "$geometry" +repage -strip \
    -define png:exclude-chunks=date,time "$docs/$1.png"
  echo "screenshots: docs/$1.png ($geometry)"
}

kestrana_wine "$exe" &
shot main Kestrana
kestrana_step "kestrana_e2e.exe --click (opening About)" kestrana_wine "$driver" --click Kestrana '关于(&A)'
shot about 关于
kestrana_step "kestrana_e2e.exe --click (opening the change log)" kestrana_wine "$driver" --click 关于 更新日志
shot changelog 更新日志
