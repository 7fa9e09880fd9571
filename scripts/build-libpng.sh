#!/usr/bin/env bash
# Builds libpng for one mingw-w64 target from Debian's own source package, read
# only and optimised for size: its configuration is cmake/libpng-read.dfa,
# fed to libpng's own configuration mechanism. The result is a static
# library installed under PREFIX. A key made from this script, the
# configuration, the toolchain file and the compiler is stored with it; a
# later call returns at once when the key matches and rebuilds otherwise.
#   build-libpng.sh PREFIX TOOLCHAIN_FILE TRIPLE
kestrana_label=libpng
. "$(dirname "$0")/machine.sh"
kestrana_strict
prefix=$1
toolchain=$2
triple=$3
root=$(cd "$(dirname "$0")/.." && pwd)
config="$root/cmake/libpng-read.dfa"
compiler=$(command -v "$triple-gcc-win32" || command -v "$triple-gcc")
key=$({ cat "$0" "$config" "$toolchain" "$root/cmake/mingw-w64.cmake"; "$compiler" --version; } | sha256sum | cut -d' ' -f1)
if [ -f "$prefix/lib/libpng.a" ] && [ -f "$prefix/include/png.h" ] &&
   [ "$(cat "$prefix/build-key" 2>/dev/null)" = "$key" ]; then
  exit 0
fi
rm -rf "$prefix"
work="$prefix.work"
rm -rf "$work"
mkdir -p "$work"
cd "$work"
src=$(bash "$root/scripts/libpng-source.sh" libpng)
mingw=/usr/$triple
# Sections per function and object, so that the program's link drops what
# the decoder does not reach; no unwind tables, which nothing in the program
# reads. The work folder differs per checkout: -ffile-prefix-map keeps it
# out of the objects, so the program is the same bytes wherever the tree
# lies. The flags are handed over as CMake code, each one argument, since a
# flags text is split at spaces and the folder may hold some.
cat >"$work/flags.cmake" <<FLAGS
add_compile_options(-ffunction-sections -fdata-sections -fno-asynchronous-unwind-tables
  [==[-ffile-prefix-map=$work=.]==])
FLAGS
cmake -S "$src" -B build -G "Unix Makefiles" \
  -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
  -DCMAKE_BUILD_TYPE=MinSizeRel \
  -DCMAKE_PROJECT_INCLUDE="$work/flags.cmake" \
  -DCMAKE_INSTALL_PREFIX="$prefix" \
  -DDFA_XTRA="$config" \
  -DPNG_SHARED=OFF -DPNG_STATIC=ON -DPNG_TESTS=OFF -DPNG_FRAMEWORK=OFF -DPNG_EXECUTABLES=OFF \
  -DPNG_HARDWARE_OPTIMIZATIONS=OFF -DSKIP_INSTALL_PROGRAMS=ON -DSKIP_INSTALL_EXPORT=ON \
  -DZLIB_LIBRARY="$mingw/lib/libz.a" -DZLIB_INCLUDE_DIR="$mingw/include" >configure.log 2>&1 || {
  cat configure.log >&2; exit 1; }
cmake --build build -j"$(nproc)" >build.log 2>&1 || { tail -n 40 build.log >&2; exit 1; }
cmake --install build >install.log 2>&1 || { cat install.log >&2; exit 1; }
# The licence as Debian records it for this source, kept with the library:
# the release's third-party notices are made from it.
install -D -m 644 "$src/debian/copyright" "$prefix/share/doc/libpng/copyright"
# The configuration must have taken: a library that can write is not this one.
if grep -q '^#define PNG_WRITE_SUPPORTED' "$prefix/include/pnglibconf.h"; then
  echo "libpng: $config was not applied (write support is still on)" >&2
  exit 1
fi
printf '%s\n' "$key" >"$prefix/build-key"
rm -rf "$work"
echo "libpng: installed in $prefix" >&2
