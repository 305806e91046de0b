#!/usr/bin/env bash
# Runs each fuzzer for a bounded time from the committed seeds; what it
# finds new goes to a scratch folder, and a crash fails the run.
#   fuzz/run.sh [build-dir] [seconds-each]     (defaults: build-fuzz 30)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-fuzz}
seconds=${2:-30}
for name in write_midi writer; do
  scratch=$build/fuzz-corpus/$name
  log=$build/fuzz-$name.log
  mkdir -p "$scratch"
  echo "== fuzzing $name for ${seconds}s"
  status=0
  "$build/fuzz/quorbel_${name}_fuzzer" -max_total_time="$seconds" -print_final_stats=1 \
    -artifact_prefix="$build/fuzz-$name-" "$scratch" "fuzz/corpus/$name" >"$log" 2>&1 || status=$?
  grep -E '^(INFO: seed corpus|Done|stat::number_of_executed_units)' "$log" || true
  if [ "$status" -ne 0 ]; then
    tail -n 40 "$log"
    echo "fuzz/run.sh: $name failed (exit $status); the input is in $build/fuzz-$name-*"
    exit 1
  fi
done
