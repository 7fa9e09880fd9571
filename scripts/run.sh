#!/usr/bin/env bash
# Runs Kestrana.exe under Wine: the 32-bit program (build/win32) where this
# machine can run 32-bit programs, otherwise the 64-bit one (build/win64),
# saying which. KESTRANA_ARCH=win32|win64 chooses instead. With a display it
# simply runs there. Without one it runs on a virtual display, saves a
# screenshot of the main window to build/screenshots/main.png and closes it.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/scripts/wine-env.sh"
kestrana_fixed_layout "$0" "$@"
kestrana_choose_arch run
exe="$kestrana_build/Kestrana.exe"
[ -f "$exe" ] || { echo "run: $exe is missing; run make first" >&2; exit 1; }
export WINEPREFIX=${WINEPREFIX:-$root/build/wine/run-prefix-$KESTRANA_ARCH}
mkdir -p "$WINEPREFIX"

if [ -n "${DISPLAY:-}" ] && [ -z "${KESTRANA_XVFB:-}" ]; then
  kestrana_init_prefix
  exec "$WINELOADER" "$exe"
fi

if [ -z "${KESTRANA_XVFB:-}" ]; then
  export KESTRANA_XVFB=1
  exec xvfb-run -a -s "-screen 0 1024x768x24" "$0" "$@"
fi

kestrana_init_prefix
shots="$root/build/screenshots"
mkdir -p "$shots"
kestrana_wine "$exe" &
program=$!
# Wait for the main window, take its picture, then close it like a user.
window=""
for _ in $(seq 100); do
  window=$(xwininfo -root -tree 2>/dev/null | awk '/"Kestrana":/ {print $1; exit}')
  [ -n "$window" ] && break
  sleep 0.1
done
if [ -z "$window" ]; then
  echo "run: the main window did not appear" >&2
  kill "$program" 2>/dev/null || true
  exit 1
fi
sleep 0.5
import -window "$window" "$shots/main.png"
echo "run: screenshot saved to $shots/main.png"
# Wine's own taskkill, without /f, posts WM_CLOSE to the program's windows,
# as the close box would: nothing beyond the program has to be built.
kestrana_wine taskkill /im Kestrana.exe >/dev/null
wait "$program"
status=$?
wineserver -w
echo "run: Kestrana.exe exited with code $status"
exit $status
