#!/usr/bin/env bash
# Builds the release of the last commit twice, each time from a clean clone
# in a scratch folder of its own (different paths, the second with a space
# and Chinese characters in it, one after the other, with another time zone
# and umask), and compares the two program files (32- and 64-bit) and the
# zip byte for byte: equal bytes from two folders of different names hold
# neither name. Then unpacks the zip and checks it the way an administrator
# would: the sums, and each program file against the one that was built.
#   scripts/check-reproducible.sh
# KEEP_REPRO=1 keeps the scratch folders (build/repro) for inspection.
kestrana_label=check-reproducible
. "$(dirname "$0")/machine.sh"
kestrana_strict
root=$kestrana_root
cd "$root"

commit=$(git rev-parse HEAD)
kestrana_warn_uncommitted "the check"

base=$root/build/repro
rm -rf "$base"
mkdir -p "$base"
cleanup() {
  if [ -z "${KEEP_REPRO:-}" ]; then rm -rf "$base"; else echo "check-reproducible: kept $base" >&2; fi
}
trap cleanup EXIT

# Paths of different lengths, so that a build path anywhere in the output
# shows as a difference even where it sits in a padded field; the second as
# a newcomer may name a folder.
first=$base/a/kestrana
second="$base/第二次 构建/checkout-of-kestrana"

build() {
  local dir=$1 tz=$2 mask=$3
  git clone --quiet --no-hardlinks "$root" "$dir"
  git -C "$dir" -c advice.detachedHead=false checkout --quiet --detach "$commit"
  local start=$SECONDS
  echo "check-reproducible: building in $dir (TZ=$tz, umask $mask)" >&2
  # Unsigned: a signature holds its signing time, so signing variables given
  # to this check (in the environment or to make) are set aside.
  (cd "$dir" && umask "$mask" &&
    TZ=$tz make dist SIGN_PKCS12= SIGN_PASSWORD_FILE= SIGN_TIMESTAMP_URL= >"$dir.log" 2>&1) || {
    tail -n 40 "$dir.log" >&2
    echo "check-reproducible: the build in $dir failed" >&2
    exit 1
  }
  echo "check-reproducible: built in $((SECONDS - start)) s" >&2
}

build "$first" UTC 0022
build "$second" Asia/Shanghai 0002

version=$(sed -n 's/^#define KESTRANA_VERSION_TEXT "\(.*\)"/\1/p' assets/version.h)
differs=0
for file in build/win32/Kestrana.exe build/win64/Kestrana.exe "build/dist/Kestrana-$version.zip"; do
  a=$first/$file b=$second/$file
  if cmp -s "$a" "$b"; then
    echo "same:   $file  $(stat -c %s "$a") bytes  sha256 $(sha256sum "$a" | cut -d' ' -f1)"
  else
    echo "DIFFER: $file" >&2
    sha256sum "$a" "$b" >&2
    cmp -l "$a" "$b" 2>&1 | head -n 8 >&2 || true
    differs=1
  fi
done
# Where a program differs, say whether a library built beside it does.
if [ "$differs" -ne 0 ]; then
  for lib in "$first"/build/deps/libpng-*/lib/libpng16.a; do
    lib=${lib#"$first"/}
    cmp -s "$first/$lib" "$second/$lib" || echo "DIFFER: $lib as well" >&2
  done
fi
[ "$differs" -eq 0 ] || { echo "check-reproducible: FAILED: two builds of $commit differ" >&2; exit 1; }

# The zip as an administrator gets it.
unpacked=$base/unpacked
mkdir -p "$unpacked"
unzip -q "$first/build/dist/Kestrana-$version.zip" -d "$unpacked"
(cd "$unpacked" && sha256sum --quiet -c SHA256SUMS) || {
  echo "check-reproducible: FAILED: the unpacked zip does not match its SHA256SUMS" >&2; exit 1; }
for pair in Kestrana.exe:win32 Kestrana64.exe:win64; do
  cmp "$unpacked/${pair%%:*}" "$first/build/${pair#*:}/Kestrana.exe" || {
    echo "check-reproducible: FAILED: the zip's ${pair%%:*} is not build/${pair#*:}/Kestrana.exe" >&2; exit 1; }
done
listed=$(cut -d' ' -f3- "$unpacked/SHA256SUMS" | sort)
present=$(cd "$unpacked" && find . -type f ! -name SHA256SUMS | sed 's|^\./||' | sort)
[ "$listed" = "$present" ] || {
  echo "check-reproducible: FAILED: SHA256SUMS does not list exactly the other files" >&2
  diff <(echo "$listed") <(echo "$present") >&2 || true
  exit 1; }
echo "check-reproducible: ok: two builds of $commit are identical; the zip unpacks and its sums check"
