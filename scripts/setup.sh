#!/usr/bin/env bash
# Installs everything the build and the tests need on a Debian 12 or 13
# machine, by names that both releases have.
# Idempotent: when every package is present and the locale exists it returns
# in well under a second without touching apt.
set -euo pipefail

# Host toolchain, the i686 and x86_64 cross toolchains, Wine (32- and 64-bit;
# the 32-bit packages install even where the kernel cannot run them), a virtual display,
# fonts, the zh_CN locale, the libraries and what screenshots need; awk
# turns libpng's build configuration into its header.
packages=(
  build-essential cmake make pkg-config dpkg-dev mawk
  g++-mingw-w64-i686-win32 gcc-mingw-w64-i686-win32 mingw-w64-i686-dev binutils-mingw-w64-i686
  g++-mingw-w64-x86-64-win32 gcc-mingw-w64-x86-64-win32 mingw-w64-x86-64-dev binutils-mingw-w64-x86-64
  libz-mingw-w64-dev libpng-dev zlib1g-dev googletest
  wine wine32:i386 wine64
  xvfb xauth x11-utils imagemagick
  # The one CJK font every Wine prefix holds, and Wine's own fonts (Marlett
  # draws the caption buttons).
  fonts-wqy-microhei fonts-wine locales
  # The fuzz targets: the release's clang and its runtimes (libFuzzer, the
  # sanitizers); the static analysis.
  clang libclang-rt-dev clang-tidy
  # The release: the zip maker, the template check and unpacking the zip.
  python3 libxml2-utils unzip
  # Signing the release when a certificate is given, and the test that
  # signs with a throwaway certificate and checks the signatures.
  osslsigncode openssl
  # The list of sources the static analysis reads; the root of another
  # Debian release that make test-debian runs in, and the releases by
  # number (the libpng source falls back to the one before).
  git debootstrap distro-info-data
)

have_all_packages() {
  local status
  status=$(dpkg-query -W -f='${db:Status-Abbrev}\n' "${packages[@]}" 2>/dev/null) || return 1
  [ "$(grep -c '^ii' <<<"$status")" -eq "${#packages[@]}" ]
}

have_locale() {
  locale -a 2>/dev/null | grep -qi '^zh_CN\.utf-\?8$'
}

sudo_cmd=()
[ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)

# deb-src entries are needed for `apt-get source libpng1.6`. They are derived
# from the machine's own deb entries, so no archive host is named here.
ensure_deb_src() {
  local out=/etc/apt/sources.list.d/kestrana-src.sources
  local legacy=/etc/apt/sources.list.d/kestrana-src.list
  [ -e "$out" ] || [ -e "$legacy" ] && return 0
  if grep -rqs '^Types:.*deb-src' /etc/apt/sources.list.d/*.sources ||
     grep -rqsE '^\s*deb-src\s' /etc/apt/sources.list /etc/apt/sources.list.d/*.list; then
    return 0
  fi
  local tmp; tmp=$(mktemp)
  local f
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -e "$f" ] || continue
    grep -qE '^Types:.*\bdeb\b' "$f" || continue
    sed -E 's/^Types:.*/Types: deb-src/' "$f" >>"$tmp"
    printf '\n' >>"$tmp"
  done
  local legacy_tmp; legacy_tmp=$(mktemp)
  for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
    [ -e "$f" ] || continue
    sed -n -E 's/^\s*deb(\s)/deb-src\1/p' "$f" >>"$legacy_tmp"
  done
  [ -s "$tmp" ] && "${sudo_cmd[@]}" install -m 644 "$tmp" "$out"
  [ -s "$legacy_tmp" ] && "${sudo_cmd[@]}" install -m 644 "$legacy_tmp" "$legacy"
  rm -f "$tmp" "$legacy_tmp"
}

have_deb_src() {
  grep -rqs '^Types:.*deb-src' /etc/apt/sources.list.d/*.sources ||
    grep -rqsE '^\s*deb-src\s' /etc/apt/sources.list /etc/apt/sources.list.d/*.list
}

if have_all_packages && have_locale && have_deb_src; then
  exit 0
fi

echo "setup: installing the toolchain and dependencies" >&2
export DEBIAN_FRONTEND=noninteractive
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  "${sudo_cmd[@]}" dpkg --add-architecture i386
fi
ensure_deb_src
"${sudo_cmd[@]}" apt-get update -q
"${sudo_cmd[@]}" apt-get install -y -q --no-install-recommends "${packages[@]}"

if ! have_locale; then
  if ! grep -q '^zh_CN.UTF-8 UTF-8' /etc/locale.gen 2>/dev/null; then
    echo 'zh_CN.UTF-8 UTF-8' | "${sudo_cmd[@]}" tee -a /etc/locale.gen >/dev/null
  fi
  "${sudo_cmd[@]}" locale-gen
fi
echo "setup: done" >&2
