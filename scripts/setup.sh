#!/usr/bin/env bash
# Installs everything the build and the tests need on a Debian 12 or 13
# machine, by names that both releases have, as root or through sudo.
# Idempotent: when every package is present and the locale exists it returns
# in well under a second without touching apt.
# A moment of the archive in which an index cannot be downloaded (a mirror
# caught mid-sync) stops the set-up only when the install then fails; the
# last line then names the index and says to run KESTRANA_COMMAND (the
# command that called this; scripts/setup.sh by default) again later.
kestrana_label=setup
. "$(dirname "$0")/machine.sh"
kestrana_strict

# Host toolchain, the i686 and x86_64 cross toolchains, Wine, a virtual
# display, fonts, the zh_CN locale, the libraries and what screenshots need;
# awk turns libpng's build configuration into its header.
packages=(
  build-essential cmake make pkg-config dpkg-dev mawk
  g++-mingw-w64-i686-win32 gcc-mingw-w64-i686-win32 mingw-w64-i686-dev binutils-mingw-w64-i686
  g++-mingw-w64-x86-64-win32 gcc-mingw-w64-x86-64-win32 mingw-w64-x86-64-dev binutils-mingw-w64-x86-64
  libz-mingw-w64-dev libpng-dev zlib1g-dev googletest
  wine wine64
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
# The 32-bit Wine, and the i386 architecture it comes from, only where the
# kernel runs 32-bit programs: elsewhere nothing could run them, and their
# indexes would be one more thing a mirror mid-sync can break.
if kestrana_runs_32bit; then
  runs_32bit=1
  packages+=(wine32:i386)
else
  runs_32bit=""
fi

have_all_packages() {
  local status
  status=$(dpkg-query -W -f='${db:Status-Abbrev}\n' "${packages[@]}" 2>/dev/null) || return 1
  [ "$(grep -c '^ii' <<<"$status")" -eq "${#packages[@]}" ]
}

have_locale() {
  locale -a 2>/dev/null | grep -qi '^zh_CN\.utf-\?8$'
}

# `apt-get source libpng1.6` needs deb-src entries for this release. They
# are the machine's own Debian entries (kestrana_archive_entries), so no
# archive host is named here.
have_deb_src() {
  kestrana_archive_entries --sources | awk -v own="$(kestrana_debian_own_codename)" '$2 == own { found = 1 } END { exit !found }'
}

add_deb_src() {
  local entries
  entries=$(kestrana_archive_entries) || true
  [ -n "$entries" ] || kestrana_fail 1 "this machine's apt configuration names no Debian archive for its own release, so no deb-src entry can be derived"
  while read -r uri suite component; do
    printf 'Types: deb-src\nURIs: %s\nSuites: %s\nComponents: %s\nSigned-By: /usr/share/keyrings/debian-archive-keyring.gpg\n\n' \
      "$uri" "$suite" "$component"
  done <<<"$entries" | kestrana_as_root tee /etc/apt/sources.list.d/kestrana-src.sources >/dev/null
}

if have_all_packages && have_locale && have_deb_src; then
  exit 0
fi

if [ -n "$runs_32bit" ]; then
  echo "setup: installing the toolchain and dependencies, with the 32-bit Wine" >&2
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    kestrana_step "dpkg --add-architecture i386" kestrana_as_root dpkg --add-architecture i386
  fi
else
  echo "setup: installing the toolchain and dependencies, without the 32-bit Wine: $kestrana_no_32bit" >&2
fi
have_deb_src || add_deb_src

# apt retries a download itself; an index that still fails is noted, and
# only matters if the install then fails.
log=$(mktemp)
trap 'rm -f "$log"' EXIT
status=0
kestrana_apt_get update -q 2>&1 | tee "$log" || status=$?
# "E: Failed to fetch URI  REASON [IP: ...]": the index and why.
unfetched=$(sed -n -E 's/^[EW]: Failed to fetch ([^ ]+) +(.*[^ ])/\1 (\2)/p' "$log" | sed -E 's/ *\[IP: [^]]*\]//' |
  paste -sd';' | sed 's/;/; /g')
if [ "$status" -ne 0 ]; then
  echo "setup: apt-get update failed with status $status; going on with the indexes it has" >&2
fi
status=0
kestrana_apt_get install -y -q --no-install-recommends "${packages[@]}" || status=$?
if [ "$status" -ne 0 ]; then
  if [ -n "$unfetched" ]; then
    kestrana_fail "$status" "apt-get install failed with status $status, and apt-get update could not download $unfetched: the archive is probably being updated; run '${KESTRANA_COMMAND:-scripts/setup.sh}' again later"
  fi
  kestrana_fail "$status" "apt-get install failed with status $status"
fi
if [ -n "$unfetched" ]; then
  echo "setup: the install did not need what apt-get update could not download: $unfetched" >&2
fi

if ! have_locale; then
  if ! grep -q '^zh_CN.UTF-8 UTF-8' /etc/locale.gen 2>/dev/null; then
    echo 'zh_CN.UTF-8 UTF-8' | kestrana_as_root tee -a /etc/locale.gen >/dev/null
  fi
  kestrana_quiet_step locale-gen kestrana_as_root locale-gen
fi
echo "setup: done" >&2
