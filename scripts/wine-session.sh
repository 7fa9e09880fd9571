#!/usr/bin/env bash
# Runs a command (usually ctest) inside a fresh Wine prefix of the build
# KESTRANA_ARCH names (win32 or win64), on a private virtual display, with a
# persistent wineserver so that state the server holds (key security
# descriptors) lives across processes. The server this script started is
# ended, and the prefix removed, when the command ends, however it ends.
# Where the kernel refuses 32-bit code, a session of the 32-bit build runs
# in the emulator's namespace (scripts/wine-env.sh), which it says; with
# KESTRANA_EMULATION_REPORT naming a file, it writes there the emulator it
# saw the 32-bit Wine run under ("qemu-i386 VERSION").
#   scripts/wine-session.sh COMMAND [ARGS...]
# KEEP_WINE_PREFIX=1 keeps the prefix for inspection.
kestrana_label=wine-session
. "$(dirname "$0")/machine.sh"
kestrana_strict
. "$kestrana_root/scripts/wine-env.sh"
kestrana_given_arch
if [ -z "${KESTRANA_EMULATION:-}" ]; then
  kestrana_arch_runs "$kestrana_arch" || kestrana_fail 1 "cannot run the $kestrana_arch build: $kestrana_arch_reason"
fi
kestrana_emulated_namespace "$@"
kestrana_virtual_display "$@"
kestrana_fixed_layout "$@"

# Under the emulator, the prefix lies in the namespace's own /tmp, so that
# it goes with the namespace however the session ends.
base=${KESTRANA_WINE_BASE:-$kestrana_root/build/wine}
[ -z "$kestrana_arch_emulated" ] || [ -n "${KESTRANA_WINE_BASE:-}${KEEP_WINE_PREFIX:-}" ] || base=/tmp/kestrana-wine
mkdir -p "$base"
WINEPREFIX=$(mktemp -d "$base/prefix-$kestrana_arch.XXXXXX")
export WINEPREFIX
trap 'kestrana_end_wine --remove' EXIT

echo "wine-session: $kestrana_arch prefix $WINEPREFIX on display $DISPLAY${kestrana_arch_emulated:+, under the emulator}" >&2
kestrana_init_prefix
kestrana_start_server
if [ -n "$kestrana_arch_emulated" ]; then
  kestrana_emulation_seen
  echo "wine-session: the 32-bit Wine runs under $kestrana_emulation_evidence" >&2
  [ -z "${KESTRANA_EMULATION_REPORT:-}" ] || echo "$kestrana_emulation_evidence" >"$KESTRANA_EMULATION_REPORT"
fi
# Ended by a signal, the session ends its command too; its Wine goes with
# the prefix.
"$@" &
command=$!
trap 'kill -TERM "$command" 2>/dev/null || true; kestrana_fail 143 "ended by a signal; ended ${1##*/} and the prefix with it"' TERM INT HUP
status=0
wait "$command" || status=$?
exit "$status"
