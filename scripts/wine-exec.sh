#!/usr/bin/env bash
# Runs one Windows program in the prefix a wine-session.sh run prepared,
# with the loader of KESTRANA_ARCH.
set -euo pipefail
if [ -z "${WINEPREFIX:-}" ] || [ ! -f "$WINEPREFIX/system.reg" ] || [ -z "${DISPLAY:-}" ]; then
  echo "wine-exec: no prepared Wine prefix; run the tests through scripts/wine-session.sh (make test does)" >&2
  exit 2
fi
. "$(dirname "$0")/wine-env.sh"
exec "$WINELOADER" "$@"
