#!/usr/bin/env bash
# The Windows half of `make test`, over each build given (win32, win64):
# the checks of the program files, which need no Wine, on every build; then
# the platform and end-to-end suites under Wine, each build in a Wine
# session of its own architecture. The 64-bit suites run on every machine;
# the 32-bit ones wherever the kernel runs 32-bit programs, and where it
# cannot, one line says so. Where it can, a missing or broken 32-bit Wine is
# a failure, not a reason to skip. Every suite runs even when an earlier one
# fails.
# KESTRANA_WINE_CTEST_ARGS, when set, is added to the ctest command line of
# the Wine suites (scripts/soak.sh has each run write a JUnit report).
#   scripts/test-windows.sh ARCH...
kestrana_label=test
. "$(dirname "$0")/machine.sh"
set -uo pipefail
. "$kestrana_root/scripts/wine-env.sh"

failed=()
for arch in "$@"; do
  ctest --test-dir "$kestrana_root/build/$arch" -L '^pe$' --output-on-failure || failed+=("$arch file checks")
done
for arch in "$@"; do
  kestrana_arch_runs "$arch"
  case $? in
    1) echo "test: the ${arch#win}-bit suite was not run: $kestrana_arch_reason"
       continue ;;
    2) echo "test: the ${arch#win}-bit suite cannot run: $kestrana_arch_reason" >&2
       failed+=("$arch Wine suites (not run)")
       continue ;;
  esac
  KESTRANA_ARCH=$arch bash "$kestrana_root/scripts/wine-session.sh" \
    ctest --test-dir "$kestrana_root/build/$arch" -L '^wine$' --output-on-failure ${KESTRANA_WINE_CTEST_ARGS:-} ||
    failed+=("$arch Wine suites")
done
if [ "${#failed[@]}" -ne 0 ]; then
  echo "test: failed: $(IFS=,; echo "${failed[*]}" | sed 's/,/, /g')" >&2
  exit 1
fi
