#!/usr/bin/env bash
# Runs a command (usually ctest) inside a fresh Wine prefix of the build
# KESTRANA_ARCH names (win32 or win64), on a private virtual display, with a
# persistent wineserver so that state the server holds (key security
# descriptors) lives across processes. The server this script started is
# ended, and the prefix removed, when the command ends, however it ends.
#   scripts/wine-session.sh COMMAND [ARGS...]
# KEEP_WINE_PREFIX=1 keeps the prefix for inspection.
kestrana_label=wine-session
. "$(dirname "$0")/machine.sh"
kestrana_strict
. "$kestrana_root/scripts/wine-env.sh"
kestrana_virtual_display "$@"
kestrana_fixed_layout "$@"
kestrana_given_arch

base=${KESTRANA_WINE_BASE:-$kestrana_root/build/wine}
mkdir -p "$base"
WINEPREFIX=$(mktemp -d "$base/prefix-$kestrana_arch.XXXXXX")
export WINEPREFIX
trap 'kestrana_end_wine --remove' EXIT

echo "wine-session: $kestrana_arch prefix $WINEPREFIX on display $DISPLAY" >&2
kestrana_init_prefix
kestrana_start_server
# Ended by a signal, the session ends its command too; its Wine goes with
# the prefix.
"$@" &
command=$!
trap 'kill -TERM "$command" 2>/dev/null || true; kestrana_fail 143 "ended by a signal; ended ${1##*/} and the prefix with it"' TERM INT HUP
status=0
wait "$command" || status=$?
exit "$status"
