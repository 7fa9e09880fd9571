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
# The 32-bit Wine, and the i386 architecture it comes from: where the kernel
# runs 32-bit programs, with everything else, and a failure stops the
# set-up. Where it refuses them but the emulator's namespace can be made
# (kestrana_can_emulate), with the emulator, as a step of its own after
# everything make run needs: a failure of that step for want of an index
# ends the set-up with status 0 and a line, kept in
# build/setup/32bit-failed for make test to report, and the next set-up
# tries again. Where neither, nothing i386: nothing could run it, and its
# indexes would be one more thing a mirror mid-sync can break.
packages32=()
if kestrana_runs_32bit; then
  mode=native
  packages+=(wine32:i386)
elif kestrana_can_emulate; then
  mode=emulated
  packages32=(wine32:i386 qemu-user)
else
  mode=none
fi
failed32=$kestrana_root/build/setup/32bit-failed
number=$(kestrana_debian_number)
codename=$(kestrana_debian_own_codename)
# Debian 12's own emulator (7.2) does not run Wine: its backports have 10.
backports=""
[ "$mode" != emulated ] || [ "${number:-0}" -ge 13 ] || backports=$codename-backports
backports_list=/etc/apt/sources.list.d/kestrana-backports.sources
backports_pin=/etc/apt/preferences.d/kestrana-qemu-user

# have PACKAGE...: whether every one is installed.
have() {
  local status
  status=$(dpkg-query -W -f='${db:Status-Abbrev}\n' "$@" 2>/dev/null) || return 1
  [ "$(grep -c '^ii' <<<"$status")" -eq "$#" ]
}
have_all_packages() { have "${packages[@]}"; }

# The 32-bit part for the emulator: the packages, an emulator of a version
# that runs Wine, and on Debian 12 the backports entry and the pin it comes
# through.
have_32bit_part() {
  [ "$mode" = emulated ] || return 0
  have "${packages32[@]}" || return 1
  kestrana_emulator_fit || return 1
  [ -z "$backports" ] || { [ -f "$backports_pin" ] && has_backports_entry; }
}

have_locale() {
  locale -a 2>/dev/null | grep -qi '^zh_CN\.utf-\?8$'
}

# `apt-get source libpng1.6` needs deb-src entries for this release. They
# are the machine's own Debian entries (kestrana_archive_entries), so no
# archive host is named here. Once this set-up has written them, the file
# says so without asking apt, which takes a second.
deb_src_list=/etc/apt/sources.list.d/kestrana-src.sources
have_deb_src() {
  [ ! -s "$deb_src_list" ] || return 0
  kestrana_archive_entries --sources | awk -v own="$(kestrana_debian_own_codename)" '$2 == own { found = 1 } END { exit !found }'
}

add_deb_src() {
  local entries
  entries=$(kestrana_archive_entries) || true
  [ -n "$entries" ] || kestrana_fail 1 "this machine's apt configuration names no Debian archive for its own release, so no deb-src entry can be derived"
  while read -r uri suite component; do
    printf 'Types: deb-src\nURIs: %s\nSuites: %s\nComponents: %s\nSigned-By: /usr/share/keyrings/debian-archive-keyring.gpg\n\n' \
      "$uri" "$suite" "$component"
  done <<<"$entries" | kestrana_as_root tee "$deb_src_list" >/dev/null
}

# has_backports_entry: whether apt has an entry for the release's backports,
# this set-up's or one of the machine's own (read from the files: asking apt
# takes a second).
has_backports_entry() {
  local file
  for file in /etc/apt/sources.list /etc/apt/sources.list.d/*.list /etc/apt/sources.list.d/*.sources; do
    [ -f "$file" ] || continue
    grep -v '^[[:space:]]*#' "$file" | grep -Eq "(^|[[:space:]])$backports([[:space:]]|$)" && return 0
  done
  return 1
}

# add_backports_entry: an entry for the release's backports, derived from the
# machine's own entry for the release's main suite: the same URI and that
# entry's Signed-By (Debian's archive keyring where a one-line entry names
# none). Then the pin that takes qemu-user, and nothing else, from there.
add_backports_entry() {
  if ! has_backports_entry; then
    local uri entry file index signed
    read -r uri entry < <(apt-get indextargets --format '$(REPO_URI) $(SOURCESENTRY)' \
      'Created-By: Packages' "Release: $codename" 'Component: main' | sort -u) || true
    [ -n "${uri:-}" ] || kestrana_fail 1 "this machine's apt configuration names no entry for $codename main, so no entry for $backports can be derived"
    file=${entry%:*} index=${entry##*:}
    if [[ "$file" == *.sources ]]; then
      # The entry's own field, continuation lines included (an inline key).
      signed=$(awk -v want="$index" '
        /^#/ { next }
        /^[ \t]*$/ { inside = 0; field = 0; next }
        !inside { inside = 1; n++ }
        n == want && tolower($0) ~ /^signed-by:/ { field = 1; print; next }
        n == want && field && /^[ \t]/ { print; next }
        { field = 0 }' "$file")
    else
      signed=$(sed -n "${index}p" "$file" | sed -n -E 's/.*\[[^]]*signed-by=([^] ]+).*/Signed-By: \1/p')
    fi
    [ -n "$signed" ] || signed="Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg"
    printf 'Types: deb\nURIs: %s\nSuites: %s\nComponents: main\n%s\n' "$uri" "$backports" "$signed" |
      kestrana_as_root tee "$backports_list" >/dev/null
    echo "setup: added $backports ($uri) for the emulator, in $backports_list" >&2
  fi
  printf 'Package: qemu-user\nPin: release n=%s\nPin-Priority: 500\n' "$backports" |
    kestrana_as_root tee "$backports_pin" >/dev/null
}

# apt_install STEP PACKAGE...: apt-get update, then the install. An index
# that update could not download is noted (in unfetched), and matters only
# if the install then fails; the install's status is in install_status.
apt_install() {
  local step=$1 log status=0
  shift
  log=$(mktemp)
  kestrana_apt_get update -q 2>&1 | tee "$log" || status=$?
  # "E: Failed to fetch URI  REASON [IP: ...]": the index and why.
  unfetched=$(sed -n -E 's/^[EW]: Failed to fetch ([^ ]+) +(.*[^ ])/\1 (\2)/p' "$log" | sed -E 's/ *\[IP: [^]]*\]//' |
    paste -sd';' | sed 's/;/; /g')
  rm -f "$log"
  if [ "$status" -ne 0 ]; then
    echo "setup: apt-get update failed with status $status; going on with the indexes it has" >&2
  fi
  install_status=0
  kestrana_apt_get install -y -q --no-install-recommends "$@" || install_status=$?
  if [ "$install_status" -eq 0 ] && [ -n "$unfetched" ]; then
    echo "setup: $step did not need what apt-get update could not download: $unfetched" >&2
  fi
}

# install_failed: the line for a failed install.
install_failed() {
  if [ -n "$unfetched" ]; then
    echo "apt-get install failed with status $install_status, and apt-get update could not download $unfetched: the archive is probably being updated; run '${KESTRANA_COMMAND:-scripts/setup.sh}' again later"
  else
    echo "apt-get install failed with status $install_status"
  fi
}

if have_all_packages && have_locale && have_deb_src && have_32bit_part; then
  rm -f "$failed32"
  exit 0
fi

case $mode in
  native) why="with the 32-bit Wine" ;;
  emulated) why="then the 32-bit Wine with the emulator: $kestrana_no_32bit, and it can be emulated in a private namespace" ;;
  none) why="without the 32-bit Wine: $kestrana_no_32bit, and it cannot be emulated here: $kestrana_no_emulation" ;;
esac
echo "setup: installing the toolchain and dependencies, $why" >&2

if ! have_all_packages || ! have_locale || ! have_deb_src; then
  if [ "$mode" = native ] && ! dpkg --print-foreign-architectures | grep -qx i386; then
    kestrana_step "dpkg --add-architecture i386" kestrana_as_root dpkg --add-architecture i386
  fi
  have_deb_src || add_deb_src
  apt_install "the install" "${packages[@]}"
  [ "$install_status" -eq 0 ] || kestrana_fail "$install_status" "$(install_failed)"
  if ! have_locale; then
    if ! grep -q '^zh_CN.UTF-8 UTF-8' /etc/locale.gen 2>/dev/null; then
      echo 'zh_CN.UTF-8 UTF-8' | kestrana_as_root tee -a /etc/locale.gen >/dev/null
    fi
    kestrana_quiet_step locale-gen kestrana_as_root locale-gen
  fi
fi

if [ "$mode" = emulated ] && ! have_32bit_part; then
  echo "setup: the 32-bit part: the i386 architecture, the 32-bit Wine and the emulator${backports:+ (qemu-user from $backports)}" >&2
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    kestrana_step "dpkg --add-architecture i386" kestrana_as_root dpkg --add-architecture i386
  fi
  [ -z "$backports" ] || add_backports_entry
  apt_install "the 32-bit part" "${packages32[@]}"
  if [ "$install_status" -ne 0 ]; then
    line="the 32-bit part of the set-up was not installed: $(install_failed)"
    [ -n "$unfetched" ] || kestrana_fail "$install_status" "$line"
    mkdir -p "$(dirname "$failed32")"
    echo "$line" >"$failed32"
    echo "setup: $line" >&2
    echo "setup: done, without the 32-bit part: make test will fail until it is installed" >&2
    exit 0
  fi
  kestrana_emulator_fit || kestrana_fail 1 "after the install, $kestrana_emulator_unfit"
  version=$kestrana_emulator_release
  echo "setup: the emulator is $kestrana_emulator, qemu-user $version" >&2
fi
rm -f "$failed32"
echo "setup: done" >&2
