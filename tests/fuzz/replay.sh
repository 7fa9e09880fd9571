#!/usr/bin/env bash
# Runs a fuzz target once on every input of its corpus, without fuzzing: a
# regression test for every input that ever found a fault.
#   replay.sh TARGET CORPUS_DIR
set -euo pipefail
target=$1
corpus=$2
name=$(basename "$target")
count=$(find "$corpus" -type f | wc -l)
[ "$count" -gt 0 ] || { echo "replay: no inputs in $corpus" >&2; exit 1; }
log=$(mktemp)
trap 'rm -f "$log"' EXIT
# Given files rather than folders, libFuzzer runs each once and writes nothing.
if find "$corpus" -type f -print0 | sort -z | xargs -0 -r "$target" >"$log" 2>&1; then
  echo "replay: $name: $count inputs passed"
else
  grep -v '^Executed ' "$log" >&2 || true
  echo "replay: $name failed on an input of $corpus (the last one Running above)" >&2
  exit 1
fi
