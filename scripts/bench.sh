#!/usr/bin/env bash
# Builds the release tree, runs every benchmark (the chapter pipeline, the task pool, and the whole
# tool in its real window against the demo site on a loopback address) and prints one table:
# what, measured, target, pass/fail. The full output of each benchmark is kept next to the build.
# Usage: scripts/bench.sh [bench_workflow options, e.g. --repeats 5]
# Exit code: 0 when every target is met, 1 when one is missed, 2 when a benchmark could not run.
set -uo pipefail
cd "$(dirname "$0")/.."

build=build/release
workflow_args=("$@")
scripts/setup.sh "$build" -DCMAKE_BUILD_TYPE=Release -DNORVEL_SANITIZER= \
  -DNORVEL_WITH_TESTS=OFF -DNORVEL_WITH_FUZZ=OFF -DNORVEL_WITH_APP=ON -DNORVEL_WITH_BENCH=ON ||
  exit 2
logs=$build/bench-logs
mkdir -p "$logs"

rows=()  # what|measured|target|verdict
status=0
add_row() {
  rows+=("$1|$2|$3|$4")
  [ "$4" = pass ] || status=$(( status > 1 ? status : 1 ))
}

echo "bench: $(nproc) cores, load $(cut -d' ' -f1-3 /proc/loadavg) at the start"

echo "bench: chapter pipeline (bench_extract)"
if "$build/bench/extract/bench_extract" >"$logs/bench_extract.log" 2>&1; then
  mbs=$(sed -n 's/^pipeline: \([0-9.]*\) MB\/s.*/\1/p' "$logs/bench_extract.log")
  if [ -n "$mbs" ]; then
    verdict=$(awk -v v="$mbs" 'BEGIN { print (v >= 20) ? "pass" : "FAIL" }')
    add_row "chapter pipeline, 30 KB page, one core" "$mbs MB/s" ">= 20 MB/s" "$verdict"
  else
    add_row "chapter pipeline" "no result" ">= 20 MB/s" "FAIL"
    status=2
  fi
else
  add_row "chapter pipeline" "did not run" ">= 20 MB/s" "FAIL"
  status=2
fi

echo "bench: task pool (pool_bench)"
"$build/bench/pool/pool_bench" >"$logs/pool_bench.log" 2>&1
pool_rc=$?
overhead=$(sed -n 's/^worst overhead \([0-9.]*\) s (target under \([0-9.]*\) s).*/\1 \2/p' \
  "$logs/pool_bench.log")
if [ -n "$overhead" ]; then
  read -r worst limit <<<"$overhead"
  add_row "task pool, batch of 500, overhead (worst of 5)" "$worst s" "< $limit s" \
    "$([ "$pool_rc" -eq 0 ] && echo pass || echo FAIL)"
else
  add_row "task pool" "did not run" "< 0.4 s" "FAIL"
  status=2
fi

echo "bench: the whole tool (bench_workflow; a few minutes)"
"$build/bench/workflow/bench_workflow" "${workflow_args[@]}" >"$logs/bench_workflow.log" 2>&1
workflow_rc=$?
found=0
while IFS=$'\t' read -r tag what measured target verdict; do
  [ "$tag" = RESULT ] || continue
  found=1
  add_row "$what" "$measured" "$target" "$verdict"
done <"$logs/bench_workflow.log"
if [ "$found" -eq 0 ] || [ "$workflow_rc" -ge 2 ]; then
  add_row "whole tool" "did not run (see $logs/bench_workflow.log)" "" "FAIL"
  status=2
fi

echo
printf '%-62s | %-50s | %-14s | %s\n' what measured target result
printf '%s\n' "$(printf '%.0s-' {1..140})"
for row in "${rows[@]}"; do
  IFS='|' read -r what measured target verdict <<<"$row"
  printf '%-62s | %-50s | %-14s | %s\n' "$what" "$measured" "$target" "$verdict"
done
echo
echo "bench: load $(cut -d' ' -f1-3 /proc/loadavg) at the end; logs in $logs"
exit "$status"
