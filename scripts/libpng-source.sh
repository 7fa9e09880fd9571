#!/usr/bin/env bash
# Unpacks Debian's libpng1.6 source package into the current folder and
# prints the path of the source tree. Used by every libpng build of the
# tree (the program's and the fuzz targets'). LABEL names the caller in
# messages.
#   libpng-source.sh LABEL
# The archive does not always serve the newest source of a package (a
# security release's files can be missing while its binaries are there).
# The rule, the same on every release: the newest version apt lists for
# this release whose files are served; failing that, the newest served
# version of the release before it, looked up in a private apt state under
# build/deps (the machine's own configuration is left as it is), read once
# for every build of the tree and read again when what it lists is gone.
label=$1
kestrana_label=$label
. "$(dirname "$0")/machine.sh"
kestrana_strict
log=$PWD/source.log
: >"$log"

# newest_served [APT-OPTION...]: fetches and unpacks the newest listed
# version that downloads.
newest_served() {
  local version
  for version in $(apt-cache "$@" showsrc libpng1.6 2>>"$log" | sed -n 's/^Version: //p' | sort -u -r -V); do
    if apt-get "$@" source -q "libpng1.6=$version" >>"$log" 2>&1; then
      echo "$label: Debian's libpng1.6 $version" >&2
      return 0
    fi
    echo "$label: libpng1.6 $version is listed but its source is not served" >&2
  done
  return 1
}

fail() {
  cat "$log" >&2
  echo "$label: $1" >&2
  exit 1
}

if ! newest_served; then
  number=$(kestrana_debian_number)
  previous=$([ -n "$number" ] && kestrana_debian_codename $((number - 1)) || true)
  [ -n "$previous" ] || fail "no served libpng1.6 source, and no release before this one to take it from"
  echo "$label: trying the release before this one, $previous" >&2
  state=$kestrana_root/build/deps/apt-$previous
  mkdir -p "$state/lists/partial" "$state/cache/archives/partial"
  kestrana_archive_entries "$previous" | while read -r uri suite component; do
    echo "deb-src [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] $uri $suite $component"
  done >"$state/sources.list"
  options=(-o "Dir::Etc::SourceList=$state/sources.list" -o "Dir::Etc::SourceParts=$state/none"
    -o "Dir::State::Lists=$state/lists" -o "Dir::Cache=$state/cache" -o Debug::NoLocking=true)
  if ! newest_served "${options[@]}"; then
    apt-get "${options[@]}" update -q >>"$log" 2>&1 || fail "apt-get update of $previous's sources failed"
    newest_served "${options[@]}" || fail "no served libpng1.6 source in $previous either"
  fi
fi
src=$(find . -maxdepth 1 -type d -name 'libpng1.6-*' | head -n 1)
[ -n "$src" ] || fail "no source tree unpacked"
echo "$src"
