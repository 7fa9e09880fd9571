#!/usr/bin/env bash
# Regenerates the README's pictures of the three windows, docs/main.png,
# docs/about.png and docs/changelog.png: the real program under Wine on a
# virtual display, in a prefix of its own that holds the Windows default
# start value (3, "手动启用"). The end-to-end driver opens the About and
# change-log windows and tells where each window is; ImageMagick cuts it out
# of the screen. The pictures carry no time chunks, so the same windows give
# the same files. The 32-bit program is shown where this machine can run it,
# otherwise the 64-bit one (KESTRANA_ARCH chooses instead).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/scripts/wine-env.sh"
kestrana_fixed_layout "$0" "$@"
kestrana_choose_arch screenshots
exe="$kestrana_build/Kestrana.exe"
driver="$kestrana_build/tests/e2e/kestrana_e2e.exe"
for f in "$exe" "$driver"; do
  [ -f "$f" ] || { echo "screenshots: $f is missing; run make screenshots" >&2; exit 1; }
done

if [ -z "${KESTRANA_XVFB:-}" ]; then
  export KESTRANA_XVFB=1
  exec xvfb-run -a -s "-screen 0 1024x768x24" "$0" "$@"
fi

mkdir -p "$root/build/wine" "$root/docs"
WINEPREFIX=$(mktemp -d "$root/build/wine/shots.XXXXXX")
export WINEPREFIX
cleanup() {
  wineserver -k >/dev/null 2>&1 || true
  wineserver -w >/dev/null 2>&1 || true
  rm -rf "$WINEPREFIX"
}
trap cleanup EXIT

kestrana_init_prefix
kestrana_wine reg add 'HKLM\System\CurrentControlSet\Services\USBSTOR' /v Start /t REG_DWORD /d 3 /f >/dev/null 2>&1

# shot NAME CAPTION: the window with that caption, frame and title included.
shot() {
  local geometry
  geometry=$(kestrana_wine "$driver" --window-rect "$2" | tr -d '\r')
  # Time to paint after the window was shown.
  sleep 0.7
  import -window root -crop "$geometry" +repage -strip -define png:exclude-chunks=date,time \
    "$root/docs/$1.png"
  echo "screenshots: docs/$1.png ($geometry)"
}

kestrana_wine "$exe" &
shot main Kestrana
kestrana_wine "$driver" --click Kestrana '关于(&A)'
shot about 关于
kestrana_wine "$driver" --click 关于 更新日志
shot changelog 更新日志
