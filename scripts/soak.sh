#!/usr/bin/env bash
# Runs the Wine suites this machine can run (the Wine half of `make test`,
# through scripts/test-windows.sh: the 64-bit build's, and the 32-bit
# build's in a 32-bit prefix and under WOW64) N times in a row on the builds
# as they are, then lists each case that failed, with its run, its suite and
# the output ctest kept of it. A case that fails once in N runs is a fault
# to find: nothing here runs a case again. Exits 1 when any case failed.
#   scripts/soak.sh N
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
runs=${1:-}
if ! [[ "$runs" =~ ^[1-9][0-9]*$ ]]; then
  echo "usage: scripts/soak.sh N (the number of runs)" >&2
  exit 2
fi
# The suites, each with the build whose folder keeps its reports: the
# 32-bit build runs in a 32-bit prefix and under WOW64.
suites=(win32:win32 wow64:win32 win64:win64)
# Each run's JUnit report, per suite: build/BUILD/soak/run-N-SUITE.xml.
for build in win32 win64; do rm -rf "$root/build/$build/soak"; done

broken=()
for run in $(seq 1 "$runs"); do
  echo "soak: run $run of $runs" >&2
  KESTRANA_WINE_CTEST_ARGS_win32="--output-junit soak/run-$run-win32.xml" \
    KESTRANA_WINE_CTEST_ARGS_wow64="--output-junit soak/run-$run-wow64.xml" \
    KESTRANA_WINE_CTEST_ARGS_win64="--output-junit soak/run-$run-win64.xml" \
    bash "$root/scripts/test-windows.sh" win32 win64 || broken+=("$run")
done

python3 - "$root" "$runs" "${broken[*]:-}" "${suites[@]}" <<'PY'
import pathlib, sys, xml.etree.ElementTree as ET

root, runs, broken = pathlib.Path(sys.argv[1]), int(sys.argv[2]), sys.argv[3].split()
suites = [entry.split(":") for entry in sys.argv[4:]]
archs = [suite for suite, _ in suites]
failed, ran = [], set()
for run in range(1, runs + 1):
    for arch, build in suites:
        report = root / "build" / build / "soak" / f"run-{run}-{arch}.xml"
        if not report.exists():
            continue  # a suite this machine does not run, or a session that never started
        ran.add(arch)
        for case in ET.parse(report).getroot().iter("testcase"):
            if case.get("status") == "fail":
                failure = case.find("failure")
                failed.append((run, arch, case.get("name"), case.get("time"),
                               failure.get("message", "") if failure is not None else "",
                               case.findtext("system-out") or ""))
for run, arch, name, seconds, message, output in failed:
    print(f"\n==== run {run}, {arch}: {name} ({float(seconds):.2f} s): {message.strip()}")
    print(output.rstrip() or "(no output)")
print(f"\nsoak: {runs} runs of {', '.join(a for a in archs if a in ran) or 'no suite'}: {len(failed)} failed cases"
      + (f"; scripts/test-windows.sh failed in runs {', '.join(broken)}" if broken else ""))
sys.exit(1 if failed or broken else 0)
PY
