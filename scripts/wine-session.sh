#!/usr/bin/env bash
# Runs a command (usually ctest) inside a fresh Wine prefix, on a private
# virtual display, with a persistent wineserver so that state the server
# holds (key security descriptors) lives across processes. The server this
# script started is ended, and the prefix removed, when the command ends.
# KESTRANA_ARCH (win32, the default, or win64) chooses the kind of prefix.
#   scripts/wine-session.sh COMMAND [ARGS...]
# KEEP_WINE_PREFIX=1 keeps the prefix for inspection.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

if [ -z "${KESTRANA_XVFB:-}" ]; then
  export KESTRANA_XVFB=1
  exec xvfb-run -a -s "-screen 0 1024x768x24" "$0" "$@"
fi

. "$root/scripts/wine-env.sh"
kestrana_fixed_layout "$0" "$@"
base=${KESTRANA_WINE_BASE:-$root/build/wine}
mkdir -p "$base"
WINEPREFIX=$(mktemp -d "$base/prefix-$KESTRANA_ARCH.XXXXXX")
export WINEPREFIX

cleanup() {
  wineserver -k >/dev/null 2>&1 || true
  wineserver -w >/dev/null 2>&1 || true
  if [ -z "${KEEP_WINE_PREFIX:-}" ]; then rm -rf "$WINEPREFIX"; else echo "wine prefix kept: $WINEPREFIX" >&2; fi
}
trap cleanup EXIT

echo "wine-session: $KESTRANA_ARCH prefix $WINEPREFIX on display $DISPLAY" >&2
kestrana_init_prefix
# The server the set-up started must be gone before the persistent one can
# start. The first program then starts Wine's own background processes;
# started here, they do not inherit the output of the first test.
wineserver -w
wineserver -p
kestrana_wine cmd /c exit >/dev/null 2>&1 </dev/null || true
set +e
"$@"
status=$?
set -e
exit $status
