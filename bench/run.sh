#!/usr/bin/env bash
# Runs the built benchmarks and prints a summary table; builds nothing.
#   bench/run.sh [build-dir]          (default: build)
# The build dir needs -DQUORBEL_BUILD_BENCHMARKS=ON and, for figures worth
# comparing, a Release build. QUORBEL_BENCH_DISK_DIR chooses the disk-backed
# directory (default /var/tmp). Full reports go to <build-dir>/bench-results.
set -euo pipefail

build=${1:-build}
bench=$build/bench/quorbel_bench
memory=$build/bench/quorbel_memory_use
count=$build/bench/quorbel_count_bench
results=$build/bench-results
export QUORBEL_BENCH_DISK_DIR=${QUORBEL_BENCH_DISK_DIR:-/var/tmp}

for program in "$bench" "$memory" "$count"; do
  if [[ ! -x $program ]]; then
    echo "run.sh: no $program; build with -DQUORBEL_BUILD_BENCHMARKS=ON" >&2
    exit 1
  fi
done
build_type=$(sed -n 's/^CMAKE_BUILD_TYPE:[A-Z]*=//p' "$build/CMakeCache.txt")
mkdir -p "$results"

# Medians of interleaved repetitions: a file system's speed drifts, and
# interleaving spreads the drift over both sides of each comparison.
run_benchmarks() {
  local name=$1 min_time=$2 filter=$3
  if ! "$bench" --benchmark_filter="$filter" \
      --benchmark_min_time="$min_time" --benchmark_repetitions=5 \
      --benchmark_enable_random_interleaving=true \
      --benchmark_report_aggregates_only=true \
      --benchmark_out="$results/$name.csv" --benchmark_out_format=csv \
      >"$results/$name.txt" 2>&1; then
    echo "run.sh: $bench failed; see $results/$name.txt" >&2
    exit 1
  fi
}

# Prints "name real_time_ns time_per_note_ns error" for each median row (or
# failed run). The report file opens with the machine's description; the
# CSV starts at its header. Columns are found by name, since counters add
# columns after the fixed ones. No field here holds a comma.
medians() {
  awk -F, '
    /^name,/ { for (i = 1; i <= NF; i++) column[$i] = i; next }
    !("name" in column) { next }
    {
      gsub(/"/, "")
      name = $column["name"]
      failed = $column["error_occurred"] == "true"
      if (!failed && name !~ /_median$/) next
      sub(/\/real_time(_median)?$/, "", name)
      scale = $column["time_unit"] == "ms" ? 1e6 : \
              $column["time_unit"] == "us" ? 1e3 : 1
      per_note = ("\"time_per_note\"" in column) ? \
                 $column["\"time_per_note\""] * 1e9 : 0
      print name, $column["real_time"] * scale, per_note, \
            failed ? $column["error_message"] : "-"
    }' "$1"
}

run_benchmarks files 1 'File/'
run_benchmarks paired 1 'PairedSafeFloor/'
run_benchmarks note_encoding 0.5 'EncodeToDevNull'
"$count" --benchmark_repetitions=5 --benchmark_report_aggregates_only=true \
  --benchmark_out="$results/count_pass.csv" --benchmark_out_format=csv \
  >"$results/count_pass.txt" 2>&1 || {
  echo "run.sh: $count failed; see $results/count_pass.txt" >&2; exit 1
}
"$memory" >"$results/memory_use.txt" 2>&1 || {
  echo "run.sh: $memory failed:" >&2; cat "$results/memory_use.txt" >&2; exit 1
}

# The last of stacked mounts is the one in use.
disk_fs=$(findmnt -n -o FSTYPE --target "$QUORBEL_BENCH_DISK_DIR" 2>/dev/null |
          tail -n 1 || true)
echo "Quorbel benchmarks: $build (${build_type:-unknown} build), $(nproc) CPUs"
echo
medians "$results/files.csv" | awk -v disk="$QUORBEL_BENCH_DISK_DIR" \
    -v disk_fs="$disk_fs" '
  { time[$1] = $2 }
  $4 != "-" { message = $0; sub(/^[^ ]+ [^ ]+ [^ ]+ /, "", message)
              error[message] = 1 }
  function us(t) { return t ? sprintf("%.1f us", t / 1e3) : "-" }
  function row(medium, size, where) {
    key = medium "/" size
    w = time["WriteMIDIFile/" key]; s = time["FloorSafeFile/" key]
    r = time["FloorRenameFile/" key]; f = time["FloorFile/" key]
    printf "  %-8s %-20s %12s %12s %6s %12s %12s\n", size, where, us(w), us(s),
           w && s ? sprintf("%.2f", w / s) : "-", us(r), us(f)
  }
  END {
    print "Files of 1999 and 10^6 ASCII chars, noteTicks 48: 16,044 and 8,000,052 bytes (median of 5)"
    print "  safe floor: what WriteMIDI promises, by hand (O_PATH directory, statx, faccessat,"
    print "    O_TMPFILE, listxattrat, one write, dup and close, linkat, renameat)"
    print "  rename floor: open, write, close to a named temporary, renamed over"
    print "  plain floor: open, write, close over the old file"
    printf "  %-8s %-20s %12s %12s %6s %12s %12s\n", "chars", "file system", "WriteMIDI",
           "safe floor", "ratio", "rename floor", "plain floor"
    for (i = 0; i < 2; i++) {
      size = i == 0 ? 1999 : 1000000
      row("tmpfs", size, "tmpfs /dev/shm")
      row("disk", size, disk_fs " " disk)
    }
    for (message in error) print "  not measured: " message
  }'
echo
# The paired run reports its per-call medians as counters; of the five
# repetitions, the median row is taken.
awk -F, -v disk="$QUORBEL_BENCH_DISK_DIR" -v disk_fs="$disk_fs" '
  /^name,/ { for (i = 1; i <= NF; i++) column[$i] = i; next }
  !("name" in column) { next }
  {
    gsub(/"/, "")
    if ($column["name"] !~ /_median$/) next
    split($column["name"], part, "/")
    row[part[2] "/" part[3]] = sprintf("%10.1f us %10.1f us %6.2f", $column["\"writemidi_us\""],
                           $column["\"safe_floor_us\""], $column["\"ratio\""])
  }
  END {
    print "WriteMIDI and the safe floor call by call in turn (medians of each call timed"
    print "alone, median of 5 repetitions):"
    printf "  %-8s %-20s %13s %13s %6s\n", "chars", "file system", "WriteMIDI", "safe floor", "ratio"
    for (i = 0; i < 2; i++) {
      size = i == 0 ? 1999 : 1000000
      printf "  %-8s %-20s %s\n", size, "tmpfs /dev/shm", \
             (("tmpfs/" size) in row) ? row["tmpfs/" size] : "-"
      printf "  %-8s %-20s %s\n", size, disk_fs " " disk, \
             (("disk/" size) in row) ? row["disk/" size] : "-"
    }
  }' "$results/paired.csv"
echo
medians "$results/note_encoding.csv" | awk '
  function shown(n) { return per_note[n] ? sprintf("%.2f", per_note[n]) : "-" }
  # What the notes alone cost: the time of a call with no notes taken off.
  function beyond_call(n) {
    return time[n] && time[0] ? sprintf("%.2f", (time[n] - time[0]) / n) : "-"
  }
  { split($1, part, "/"); per_note[part[2]] = $3; time[part[2]] = $2; if ($4 != "-") failed = 1 }
  END {
    printf "Encoding, 10^7 chars to /dev/null: %s ns/note\n", shown(10000000)
    printf "Growth, ns/note by text length (to /dev/null, median of 5):\n  %-22s", "chars"
    for (n = 1000; n <= 10000000; n *= 10) printf " %9s", sprintf("%d", n)
    printf "\n  %-22s", "whole call"
    for (n = 1000; n <= 10000000; n *= 10) printf " %9s", shown(n)
    printf "\n  %-22s", "the notes alone"
    for (n = 1000; n <= 10000000; n *= 10) printf " %9s", beyond_call(n)
    printf "\n  %-22s %.1f us\n", "a call with no notes", time[0] / 1e3
    if (failed) print "  some lengths failed; see note_encoding.txt"
  }'
echo
awk -F, '
  /^name,/ { for (i = 1; i <= NF; i++) column[$i] = i; next }
  !("name" in column) { next }
  {
    gsub(/"/, "")
    if ($column["name"] !~ /_median$/) next
    name = $column["name"]; sub(/_median$/, "", name)
    printf "  %-32s %8.1f us %7.1f GB/s\n", name, $column["real_time"],
           $column["bytes_per_second"] / 1e9
  }
  BEGIN { print "The count pass, beside memchr reading the same bytes (median of 5, CPU GB/s):" }
' "$results/count_pass.csv"
echo
awk '
  { value[$1] = $2 }
  END {
    print "Memory, writing 10^7 chars:"
    printf "  heap allocations during the calls  %s\n", value["heap_allocations"]
    printf "  stack used by the call             %s bytes\n", value["stack_bytes"]
    printf "  stack replacing a file via a link  %s bytes\n", value["stack_bytes_replacing"]
    printf "  stack of a fresh process'"'"'s call  %s bytes\n", value["stack_bytes_first_call"]
    printf "  stack bound, the most of these     %s bytes\n", value["stack_bytes_bound"]
    printf "  peak resident set growth           %s KiB\n", value["peak_rss_growth_kib"]
  }' "$results/memory_use.txt"
echo
echo "Full reports: $results/"
