#!/usr/bin/env bash
# The Windows half of `make test`, over each build given (win32, win64):
# the checks of the program files, which need no Wine, on every build; then
# the platform and end-to-end suites under Wine, each build in a Wine
# session of its own architecture. The 64-bit suites run on every machine;
# the 32-bit ones wherever the machine can run 32-bit programs, and where it
# cannot, one line says so. Every suite runs even when an earlier one fails.
# KESTRANA_WINE_CTEST_ARGS, when set, is added to the ctest command line of
# the Wine suites (scripts/soak.sh has each run write a JUnit report).
#   scripts/test-windows.sh ARCH...
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/scripts/wine-env.sh"

failed=()
for arch in "$@"; do
  ctest --test-dir "$root/build/$arch" -L '^pe$' --output-on-failure || failed+=("$arch file checks")
done
for arch in "$@"; do
  if [ "$arch" = win32 ] && ! kestrana_runs_win32; then
    echo "test: the 32-bit suite was not run: this machine cannot run 32-bit programs ($kestrana_no_win32)"
    continue
  fi
  KESTRANA_ARCH=$arch bash "$root/scripts/wine-session.sh" \
    ctest --test-dir "$root/build/$arch" -L '^wine$' --output-on-failure ${KESTRANA_WINE_CTEST_ARGS:-} ||
    failed+=("$arch Wine suites")
done
if [ "${#failed[@]}" -ne 0 ]; then
  echo "test: failed: $(IFS=,; echo "${failed[*]}" | sed 's/,/, /g')" >&2
  exit 1
fi
