#!/usr/bin/env bash
# make bench: times Kestrana.exe against the hand-written main window and
# About window (bench/) in one Wine session with a persistent server and
# unmanaged windows, alternating the three programs run by run. BENCH_RUNS
# sets the number of timed runs of each (default 30).
# The figures are medians of wall-clock times; other work on the machine
# moves them, so compare only figures from one run.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build/win32"
windows() { local p=$1; echo "Z:${p//\//\\}"; }
for f in "$build/bench/bench_driver.exe" "$build/bench/hand_main.exe" "$build/bench/hand_about.exe" \
  "$build/Kestrana.exe"; do
  [ -f "$f" ] || { echo "bench: $f is missing; run make bench" >&2; exit 1; }
done
exec bash "$root/scripts/wine-session.sh" bash "$root/scripts/wine-exec.sh" "$build/bench/bench_driver.exe" \
  --runs "${BENCH_RUNS:-30}" --warmup 3 \
  hand_main="$(windows "$build/bench/hand_main.exe")" \
  hand_about="$(windows "$build/bench/hand_about.exe")" \
  Kestrana="$(windows "$build/Kestrana.exe")"
