#!/usr/bin/env bash
# The Windows half of `make test`, over each build given (win32, win64):
# the checks of the program files, which need no Wine, on every build; then
# the platform and end-to-end suites under Wine, each build in a Wine
# session of its own architecture. The 64-bit suites run on every machine;
# the 32-bit ones natively wherever the kernel runs 32-bit programs, and
# under the emulator in a private namespace where it refuses them and such
# a namespace can be made; a line then says so, from what the session saw.
# Where neither can be, one line says that the 32-bit suite was not run, and
# why. Anything else that keeps the 32-bit suites from running (a missing or
# broken 32-bit Wine or emulator) is a failure, not a reason to skip. Every
# suite runs even when an earlier one fails.
# KESTRANA_WINE_CTEST_ARGS, when set, is added to the ctest command line of
# the Wine suites (scripts/soak.sh has each run write a JUnit report), and
# KESTRANA_WINE_CTEST_ARGS_win32 (or _win64) to that of one build's alone (a
# rehearsal runs a named subset of the 32-bit cases).
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
  # The emulator the session saw the 32-bit Wine run under, if it did.
  report=""
  if [ -n "$kestrana_arch_emulated" ]; then
    mkdir -p "$kestrana_root/build/$arch"
    report=$(mktemp "$kestrana_root/build/$arch/emulation.XXXXXX")
  fi
  # A signal that ends this script ends the session too (it cleans up).
  own_args=KESTRANA_WINE_CTEST_ARGS_$arch
  KESTRANA_ARCH=$arch KESTRANA_EMULATION_REPORT=$report bash "$kestrana_root/scripts/wine-session.sh" \
    ctest --test-dir "$kestrana_root/build/$arch" -L '^wine$' --output-on-failure ${KESTRANA_WINE_CTEST_ARGS:-} ${!own_args:-} &
  session=$!
  trap 'kill -TERM "$session" 2>/dev/null; wait "$session"; exit 143' TERM INT HUP
  status=0
  wait "$session" || status=$?
  trap - TERM INT HUP
  [ "$status" -eq 0 ] || failed+=("$arch Wine suites")
  if [ -n "$report" ]; then
    emulator=$(cat "$report")
    rm -f "$report"
    if [ -n "$emulator" ]; then
      echo "test: the ${arch#win}-bit suite ran under emulation ($emulator): the kernel refuses 32-bit programs"
    elif [ "$status" -eq 0 ]; then
      # A session that passed without that evidence ran something else.
      echo "test: the ${arch#win}-bit suite was to run under emulation, but the session never saw the 32-bit Wine run under the emulator" >&2
      failed+=("$arch Wine suites (no emulator seen)")
    fi
  fi
done
if [ "${#failed[@]}" -ne 0 ]; then
  echo "test: failed: $(IFS=,; echo "${failed[*]}" | sed 's/,/, /g')" >&2
  exit 1
fi
