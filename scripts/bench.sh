#!/usr/bin/env bash
# make bench: times Kestrana.exe against the hand-written main window and
# About window (bench/) in one Wine session per build, with a persistent
# server and unmanaged windows, alternating the three programs run by run.
# Each build the machine can run is measured against yardsticks built for
# the same architecture.
#   scripts/bench.sh ARCH...   (win32, win64)
# BENCH_RUNS sets the number of timed runs of each program (default 30).
# The figures are medians of wall-clock times; other work on the machine
# moves them, so compare only figures from one run.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/scripts/wine-env.sh"
windows() { local p=$1; echo "Z:${p//\//\\}"; }
status=0
for arch in "$@"; do
  if [ "$arch" = win32 ] && ! kestrana_runs_win32; then
    echo "bench: the 32-bit build was not measured: this machine cannot run 32-bit programs ($kestrana_no_win32)"
    continue
  fi
  build="$root/build/$arch"
  for f in "$build/bench/bench_driver.exe" "$build/bench/hand_main.exe" "$build/bench/hand_about.exe" \
    "$build/Kestrana.exe"; do
    [ -f "$f" ] || { echo "bench: $f is missing; run make bench" >&2; exit 1; }
  done
  echo "bench: $arch"
  KESTRANA_ARCH=$arch bash "$root/scripts/wine-session.sh" bash "$root/scripts/wine-exec.sh" \
    "$build/bench/bench_driver.exe" --runs "${BENCH_RUNS:-30}" --warmup 3 \
    hand_main="$(windows "$build/bench/hand_main.exe")" \
    hand_about="$(windows "$build/bench/hand_about.exe")" \
    Kestrana="$(windows "$build/Kestrana.exe")" || status=1
done
exit $status
