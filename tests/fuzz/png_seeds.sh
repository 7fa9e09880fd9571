#!/usr/bin/env bash
# Writes the PNG target's starting inputs into OUT_DIR: the logo and damaged
# copies of it (truncations, flipped bytes in IHDR, IDAT and their CRCs,
# wrong chunk lengths). The committed corpus was merged from these and what
# the fuzzer found (see README.md beside this script).
#   png_seeds.sh OUT_DIR
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
logo=$root/assets/logo.png
out=$1
mkdir -p "$out"

# The logo's chunks: signature 0-7, IHDR at 8 (data 16-28, CRC 29-32), iCCP
# at 33, cHRM at 304, pHYs at 348, IDAT at 369 (8192 bytes) and 8573 (917),
# IEND at 9502.
cp "$logo" "$out/logo"
for cut in 8 20 33 400 4000 8573 9502 9510; do
  head -c "$cut" "$logo" >"$out/truncated-$cut"
done

# patch NAME OFFSET HEXBYTES: a copy with the bytes at OFFSET replaced.
patch() {
  cp "$logo" "$out/$1"
  printf "$(sed 's/\(..\)/\\x\1/g' <<<"$3")" | dd of="$out/$1" bs=1 seek="$2" conv=notrunc status=none
}
patch ihdr-width-zero 16 00000000
patch ihdr-width-huge 16 7fffffff
patch ihdr-height-4097 20 00001001
patch ihdr-bit-depth-16 24 10
patch ihdr-colour-palette 25 03
patch ihdr-interlaced 28 01
patch ihdr-crc 29 00
patch iccp-data 50 ff
patch idat-data 500 00
patch idat-data-end 8560 ff
patch idat-crc 8572 00
patch iend-crc 9510 00
patch length-ihdr-14 8 0000000e
patch length-idat-zero 369 00000000
patch length-idat-huge 369 7fffffff
patch length-idat-past-end 8573 00010000
