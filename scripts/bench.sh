#!/usr/bin/env bash
# make bench: times Kestrana.exe against the hand-written main window and
# About window (bench/) in one Wine session per build, with a persistent
# server and unmanaged windows, alternating the three programs run by run.
# Each build the machine runs natively is measured against yardsticks built
# for the same architecture; never under the emulator.
#   scripts/bench.sh ARCH...   (win32, win64)
# BENCH_RUNS sets the number of timed runs of each program (default 30).
# The figures are medians of wall-clock times; other work on the machine
# moves them, so compare only figures from one run.
kestrana_label=bench
. "$(dirname "$0")/machine.sh"
kestrana_strict
. "$kestrana_root/scripts/wine-env.sh"
windows() { local p=$1; echo "Z:${p//\//\\}"; }
failed=()
for arch in "$@"; do
  status=0
  kestrana_arch_runs "$arch" || status=$?
  if [ "$status" -eq 1 ]; then
    echo "bench: the ${arch#win}-bit build was not measured: $kestrana_arch_reason"
    continue
  elif [ "$status" -eq 0 ] && [ -n "$kestrana_arch_emulated" ]; then
    # Times under the emulator say nothing about the program.
    echo "bench: the ${arch#win}-bit build was not measured: the kernel refuses 32-bit programs, and it would run only under the emulator"
    continue
  elif [ "$status" -ne 0 ]; then
    kestrana_fail 1 "the ${arch#win}-bit build cannot be measured: $kestrana_arch_reason"
  fi
  build="$kestrana_root/build/$arch"
  for f in "$build/bench/bench_driver.exe" "$build/bench/hand_main.exe" "$build/bench/hand_about.exe" \
    "$build/Kestrana.exe"; do
    [ -f "$f" ] || kestrana_fail 1 "$f is missing; run make bench"
  done
  echo "bench: measuring the ${arch#win}-bit build, build/$arch, natively"
  KESTRANA_ARCH=$arch bash "$kestrana_root/scripts/wine-session.sh" bash "$kestrana_root/scripts/wine-exec.sh" \
    "$build/bench/bench_driver.exe" --runs "${BENCH_RUNS:-30}" --warmup 3 \
    hand_main="$(windows "$build/bench/hand_main.exe")" \
    hand_about="$(windows "$build/bench/hand_about.exe")" \
    Kestrana="$(windows "$build/Kestrana.exe")" || failed+=("$arch")
done
[ "${#failed[@]}" -eq 0 ] || kestrana_fail 1 "the bench driver failed for ${failed[*]}"
