#!/usr/bin/env bash
# Runs one Windows program in the prefix a wine-session.sh run prepared,
# with the loader of the build KESTRANA_ARCH names.
#   scripts/wine-exec.sh [--limit SECONDS] PROGRAM [ARGS...]
# With --limit, a program still running after SECONDS (longer under the
# emulator: kestrana_limit) is ended, with every
# other process of the prefix, and the run fails with a line that says so;
# the prefix's persistent server is started again for whatever runs next.
# The tests give each case a limit shorter than ctest's own, so that a case
# that hangs is cleaned up here rather than killed by ctest, which would
# leave its Wine processes running.
kestrana_label=wine-exec
. "$(dirname "$0")/machine.sh"
kestrana_strict
. "$kestrana_root/scripts/wine-env.sh"
if [ -z "${WINEPREFIX:-}" ] || [ ! -f "$WINEPREFIX/system.reg" ] || [ -z "${DISPLAY:-}" ]; then
  kestrana_fail 2 "no prepared Wine prefix; run the tests through scripts/wine-session.sh (make test does)"
fi
kestrana_given_arch
status=0
if [ "${1:-}" != --limit ]; then
  kestrana_wine "$@" || status=$?
  exit "$status"
fi
limit=$2
shift 2
kestrana_wine_within "$limit" "$@" || status=$?
if [ -n "$kestrana_timed_out" ]; then
  kestrana_start_server
  kestrana_fail 124 "$(basename "$1") ${*:2} did not end within $(kestrana_limit "$limit") s${kestrana_arch_emulated:+ (under the emulator: $limit s times $kestrana_emulation_factor)}: every process of the prefix was ended"
fi
exit "$status"
