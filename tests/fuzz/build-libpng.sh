#!/usr/bin/env bash
# Builds libpng for the fuzz targets from Debian's own source package, the
# release the product links, with the fuzzer's coverage instrumentation and
# the sanitizers: without coverage inside libpng the PNG target would mutate
# blind. Installed under PREFIX once; later calls return at once.
#   build-libpng.sh PREFIX C_COMPILER
set -euo pipefail
prefix=$1
cc=$2
root=$(cd "$(dirname "$0")/../.." && pwd)
if [ -f "$prefix/lib/libpng16.a" ] && [ -f "$prefix/include/png.h" ]; then
  exit 0
fi
work="$prefix.work"
rm -rf "$work"
mkdir -p "$work"
cd "$work"
src=$(bash "$root/scripts/libpng-source.sh" "libpng (fuzz)")
flags="-O1 -g -fno-omit-frame-pointer -fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all"
cmake -S "$src" -B build -G "Unix Makefiles" \
  -DCMAKE_C_COMPILER="$cc" -DCMAKE_C_FLAGS="$flags" \
  -DCMAKE_BUILD_TYPE= \
  -DCMAKE_INSTALL_PREFIX="$prefix" \
  -DPNG_SHARED=OFF -DPNG_STATIC=ON -DPNG_TESTS=OFF -DPNG_FRAMEWORK=OFF \
  -DPNG_HARDWARE_OPTIMIZATIONS=OFF -DSKIP_INSTALL_PROGRAMS=ON -DSKIP_INSTALL_EXPORT=ON >configure.log 2>&1 || {
  cat configure.log >&2; exit 1; }
cmake --build build -j"$(nproc)" >build.log 2>&1 || { tail -n 40 build.log >&2; exit 1; }
cmake --install build >install.log 2>&1 || { cat install.log >&2; exit 1; }
rm -rf "$work"
echo "libpng (fuzz): installed in $prefix" >&2
