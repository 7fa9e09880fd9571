#!/usr/bin/env bash
# Prints the path of Marlett, the font Wine draws caption buttons (the
# close button's cross) with, for the README's pictures. It comes from
# Debian's fonts-wine package, downloaded and unpacked under build/deps the
# first time, not installed: installed, it would change pixels that the
# end-to-end tests read in their own prefixes.
#   marlett.sh
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir=$root/build/deps/fonts-wine
font=$dir/usr/share/wine/fonts/marlett.ttf
if [ ! -f "$font" ]; then
  work=$dir.work
  rm -rf "$work" "$dir"
  mkdir -p "$work"
  (cd "$work" && apt-get download -q fonts-wine >download.log 2>&1) || {
    cat "$work/download.log" >&2; echo "marlett: apt-get download fonts-wine failed" >&2; exit 1; }
  dpkg-deb -x "$work"/fonts-wine_*.deb "$dir"
  rm -rf "$work"
  [ -f "$font" ] || { echo "marlett: fonts-wine holds no $font" >&2; exit 1; }
fi
echo "$font"
