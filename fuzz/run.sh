#!/usr/bin/env bash
# Runs each fuzzer for a bounded time from the committed seeds; what it
# finds new goes to a scratch folder, and a crash fails the run.
#   fuzz/run.sh [build-dir] [seconds-each]     (defaults: build-fuzz 30)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-fuzz}
seconds=${2:-30}
# Both at once, one a core: each still gets its whole time.
run() {
  local name=$1 scratch=$build/fuzz-corpus/$1 log=$build/fuzz-$1.log status=0
  mkdir -p "$scratch"
  "$build/fuzz/quorbel_${name}_fuzzer" -max_total_time="$seconds" -print_final_stats=1 \
    -artifact_prefix="$build/fuzz-$name-" "$scratch" "fuzz/corpus/$name" >"$log" 2>&1 || status=$?
  # One block a fuzzer, whichever ends first.
  local summary
  summary=$(
    echo "== fuzzed $name for ${seconds}s"
    grep -E '^(INFO: seed corpus|Done|stat::number_of_executed_units)' "$log" || true
    if [ "$status" -ne 0 ]; then
      tail -n 40 "$log"
      echo "fuzz/run.sh: $name failed (exit $status); the input is in $build/fuzz-$name-*"
    fi
  )
  printf '%s\n' "$summary"
  [ "$status" -eq 0 ]
}
run write_midi & first=$!
run writer || failed=1
wait "$first" || failed=1
[ -z "${failed:-}" ]
