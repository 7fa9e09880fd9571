#!/usr/bin/env bash
# Builds libpng for i686-w64-mingw32 from Debian's own source package, once.
# The result is a static library installed under PREFIX; later calls return
# at once when it is there.
set -euo pipefail
prefix=$1
toolchain=$2
if [ -f "$prefix/lib/libpng.a" ] && [ -f "$prefix/include/png.h" ]; then
  exit 0
fi
work="$prefix.work"
rm -rf "$work"
mkdir -p "$work"
cd "$work"
echo "libpng: fetching Debian's source package" >&2
# When the newest security release's files are not served, the release
# version of the package still is.
apt-get source -q libpng1.6 >source.log 2>&1 || apt-get source -q libpng1.6/bookworm >>source.log 2>&1 || {
  cat source.log >&2; echo "libpng: apt-get source failed (are deb-src entries set up? run scripts/setup.sh)" >&2; exit 1; }
src=$(find . -maxdepth 1 -type d -name 'libpng1.6-*' | head -n 1)
[ -n "$src" ] || { echo "libpng: no source tree unpacked" >&2; exit 1; }
mingw=/usr/i686-w64-mingw32
# The work folder differs per checkout: -ffile-prefix-map keeps it out of
# the objects, so the program is the same bytes wherever the tree lies.
cmake -S "$src" -B build -G "Unix Makefiles" \
  -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
  -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_C_FLAGS="-ffile-prefix-map=$work=." \
  -DCMAKE_INSTALL_PREFIX="$prefix" \
  -DPNG_SHARED=OFF -DPNG_STATIC=ON -DPNG_TESTS=OFF -DPNG_FRAMEWORK=OFF \
  -DPNG_HARDWARE_OPTIMIZATIONS=OFF -DSKIP_INSTALL_PROGRAMS=ON -DSKIP_INSTALL_EXPORT=ON \
  -DZLIB_LIBRARY="$mingw/lib/libz.a" -DZLIB_INCLUDE_DIR="$mingw/include" >configure.log 2>&1 || {
  cat configure.log >&2; exit 1; }
cmake --build build -j"$(nproc)" >build.log 2>&1 || { tail -n 40 build.log >&2; exit 1; }
cmake --install build >install.log 2>&1 || { cat install.log >&2; exit 1; }
rm -rf "$work"
echo "libpng: installed in $prefix" >&2
