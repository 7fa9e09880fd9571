#!/usr/bin/env bash
# Unpacks Debian's libpng1.6 source package into the current folder and
# prints the path of the source tree. Used by every libpng build of the
# tree (the program's and the fuzz targets'). LABEL names the caller in
# messages.
#   libpng-source.sh LABEL
set -euo pipefail
label=$1
echo "$label: fetching Debian's source package" >&2
# When the newest security release's files are not served, the release
# version of the package still is.
apt-get source -q libpng1.6 >source.log 2>&1 || apt-get source -q libpng1.6/bookworm >>source.log 2>&1 || {
  cat source.log >&2; echo "$label: apt-get source failed (are deb-src entries set up? run scripts/setup.sh)" >&2; exit 1; }
src=$(find . -maxdepth 1 -type d -name 'libpng1.6-*' | head -n 1)
[ -n "$src" ] || { echo "$label: no source tree unpacked" >&2; exit 1; }
echo "$src"
