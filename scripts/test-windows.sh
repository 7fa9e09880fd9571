#!/usr/bin/env bash
# The Windows half of `make test`, over each build given (win32, win64):
# the checks of the program files, which need no Wine, on every build; then
# the platform and end-to-end suites under Wine, in a Wine session each:
# the 64-bit build in a 64-bit prefix, and the 32-bit build twice, in a
# 32-bit prefix and in a 64-bit one (WOW64, as 64-bit Windows runs it). The
# 64-bit suite runs on every machine; the two suites of the 32-bit build
# natively wherever the kernel runs 32-bit programs, and under the emulator
# in a private namespace where it refuses them and such a namespace can be
# made; a line then says so for each, from what its session saw. Where
# neither can be, one line says that neither was run, and why. Anything
# else that keeps them from running (a missing or broken 32-bit Wine or
# emulator) is a failure, not a reason to skip. Every suite runs even when
# an earlier one fails.
# KESTRANA_WINE_CTEST_ARGS, when set, is added to the ctest command line of
# every suite, and KESTRANA_WINE_CTEST_ARGS_win32 (or _win64, _wow64) to
# that of one suite alone (scripts/soak.sh has each write a JUnit report of
# its own; a rehearsal runs a named subset of the 32-bit build's cases).
#   scripts/test-windows.sh BUILD...
kestrana_label=test
. "$(dirname "$0")/machine.sh"
set -uo pipefail
. "$kestrana_root/scripts/wine-env.sh"

# suite_name SUITE: how the lines name it.
suite_name() {
  case $1 in
    wow64) echo "WOW64 suite" ;;
    *) echo "${1#win}-bit suite" ;;
  esac
}

failed=()
suites=()
for build in "$@"; do
  ctest --test-dir "$kestrana_root/build/$build" -L '^pe$' --output-on-failure || failed+=("$build file checks")
  suites+=("$build")
  [ "$build" != win32 ] || suites+=(wow64)
done
for suite in "${suites[@]}"; do
  kestrana_arch_runs "$suite"
  case $? in
    1) # Only the 32-bit programs can be out of reach, for both suites alike.
       if [ "$suite" = win32 ]; then
         echo "test: the 32-bit suite and the WOW64 suite were not run: $kestrana_arch_reason"
       elif [ "$suite" != wow64 ]; then
         echo "test: the $(suite_name "$suite") was not run: $kestrana_arch_reason"
       fi
       continue ;;
    2) echo "test: the $(suite_name "$suite") cannot run: $kestrana_arch_reason" >&2
       failed+=("$suite Wine suites (not run)")
       continue ;;
  esac
  build=${kestrana_builds[$suite]} label=wine
  [ "$suite" != wow64 ] || label=wow64
  if [ "$suite" = wow64 ] && [ ! -f "$kestrana_root/build/win64/tests/e2e/kestrana_e2e.exe" ]; then
    # The WOW64 cases read what only a 64-bit program can through the 64-bit
    # build's driver.
    echo "test: the WOW64 suite cannot run: build/win64/tests/e2e/kestrana_e2e.exe, the 64-bit reader its cases use, is missing; make builds it" >&2
    failed+=("$suite Wine suites (not run)")
    continue
  fi
  # The emulator the session saw the 32-bit Wine run under, if it did.
  report=""
  if [ -n "$kestrana_arch_emulated" ]; then
    mkdir -p "$kestrana_root/build/$build"
    report=$(mktemp "$kestrana_root/build/$build/emulation.XXXXXX")
  fi
  # A signal that ends this script ends the session too (it cleans up).
  own_args=KESTRANA_WINE_CTEST_ARGS_$suite
  KESTRANA_ARCH=$suite KESTRANA_EMULATION_REPORT=$report bash "$kestrana_root/scripts/wine-session.sh" \
    ctest --test-dir "$kestrana_root/build/$build" -L "^$label\$" --output-on-failure ${KESTRANA_WINE_CTEST_ARGS:-} ${!own_args:-} &
  session=$!
  trap 'kill -TERM "$session" 2>/dev/null; wait "$session"; exit 143' TERM INT HUP
  status=0
  wait "$session" || status=$?
  trap - TERM INT HUP
  [ "$status" -eq 0 ] || failed+=("$suite Wine suites")
  if [ -n "$report" ]; then
    emulator=$(cat "$report")
    rm -f "$report"
    if [ -n "$emulator" ]; then
      echo "test: the $(suite_name "$suite") ran under emulation ($emulator): the kernel refuses 32-bit programs"
    elif [ "$status" -eq 0 ]; then
      # A session that passed without that evidence ran something else.
      echo "test: the $(suite_name "$suite") was to run under emulation, but the session never saw the 32-bit Wine run under the emulator" >&2
      failed+=("$suite Wine suites (no emulator seen)")
    fi
  fi
done
if [ "${#failed[@]}" -ne 0 ]; then
  echo "test: failed: $(IFS=,; echo "${failed[*]}" | sed 's/,/, /g')" >&2
  exit 1
fi
