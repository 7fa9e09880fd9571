#!/usr/bin/env bash
# Runs the Wine suites of every build this machine can run (the Wine half of
# `make test`, through scripts/test-windows.sh) N times in a row on the builds
# as they are, then lists each case that failed, with its run, its build and
# the output ctest kept of it. A case that fails once in N runs is a fault to
# find: nothing here runs a case again. Exits 1 when any case failed.
#   scripts/soak.sh N
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
runs=${1:-}
if ! [[ "$runs" =~ ^[1-9][0-9]*$ ]]; then
  echo "usage: scripts/soak.sh N (the number of runs)" >&2
  exit 2
fi
archs=(win32 win64)
# Each run's JUnit report, per build: build/ARCH/soak/run-N.xml.
for arch in "${archs[@]}"; do rm -rf "$root/build/$arch/soak"; done

broken=()
for run in $(seq 1 "$runs"); do
  echo "soak: run $run of $runs" >&2
  KESTRANA_WINE_CTEST_ARGS="--output-junit soak/run-$run.xml" bash "$root/scripts/test-windows.sh" "${archs[@]}" ||
    broken+=("$run")
done

python3 - "$root" "$runs" "${broken[*]:-}" "${archs[@]}" <<'PY'
import pathlib, sys, xml.etree.ElementTree as ET

root, runs, broken, archs = pathlib.Path(sys.argv[1]), int(sys.argv[2]), sys.argv[3].split(), sys.argv[4:]
failed, ran = [], set()
for run in range(1, runs + 1):
    for arch in archs:
        report = root / "build" / arch / "soak" / f"run-{run}.xml"
        if not report.exists():
            continue  # a build this machine does not run, or a session that never started
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
print(f"\nsoak: {runs} runs of {', '.join(a for a in archs if a in ran) or 'no build'}: {len(failed)} failed cases"
      + (f"; scripts/test-windows.sh failed in runs {', '.join(broken)}" if broken else ""))
sys.exit(1 if failed or broken else 0)
PY
