#!/usr/bin/env bash
# Fuzzes every target for SECONDS seconds each, one after another, starting
# from its committed corpus, then prints one line per target:
#   fuzz NAME: N execs, 0 crashes
# N is libFuzzer's own count of executed inputs. New inputs go to
# BUILD_DIR/work/NAME (the committed corpus is left alone), a crashing input
# to BUILD_DIR/artifacts, the whole output to BUILD_DIR/logs/NAME.log. Fails
# when any target found a crash.
#   run.sh BUILD_DIR SECONDS
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$1
seconds=$2
targets=(png text_to_float dbcs_path keyboard)

mkdir -p "$build/work" "$build/artifacts" "$build/logs"
summary=()
failed=0
for name in "${targets[@]}"; do
  bin=$build/${name}_fuzz
  log=$build/logs/$name.log
  mkdir -p "$build/work/$name"
  echo "fuzz: $name for ${seconds} s" >&2
  status=0
  "$bin" -max_total_time="$seconds" -print_final_stats=1 -timeout=25 \
    -artifact_prefix="$build/artifacts/$name-" \
    "$build/work/$name" "$here/corpus/$name" >"$log" 2>&1 || status=$?

  execs=$(sed -n 's/^stat::number_of_executed_units: *\([0-9]*\).*/\1/p' "$log" | tail -n 1)
  [ -n "$execs" ] || execs=$(sed -n 's/^#\([0-9][0-9]*\).*/\1/p' "$log" | tail -n 1)
  [ -n "$execs" ] || execs=0
  artifact=$(sed -n 's/.*Test unit written to \(.*\)$/\1/p' "$log" | tail -n 1)
  if [ "$status" -eq 0 ]; then
    summary+=("fuzz $name: $execs execs, 0 crashes")
  else
    failed=1
    grep -E -m 5 'property violated|^==[0-9]+==ERROR|SUMMARY|textToFloat\(' "$log" >&2 || true
    if [ -n "$artifact" ]; then
      summary+=("fuzz $name: $execs execs, 1 crash: $artifact (log $log)")
    else
      summary+=("fuzz $name: $execs execs, did not run to the end (exit $status, log $log)")
    fi
  fi
done
printf '%s\n' "${summary[@]}"
exit "$failed"
