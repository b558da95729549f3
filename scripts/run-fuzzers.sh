#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Runs every fuzz target of a YUTIL_FUZZ build for a bounded time, as many at once
# as there are processors, and prints each one's executions and coverage.
# New inputs collect in BUILD/fuzz-work/NAME (kept between runs); a failing input
# is saved as BUILD/fuzz-findings/NAME-crash-... and belongs, once understood and
# mended, in the target's corpus folder as a regression case.
# Usage: scripts/run-fuzzers.sh BUILD_DIR [SECONDS_EACH]   (default 30)
set -euo pipefail
build=$(cd "$1" && pwd)
seconds=${2:-30}
list=$build/fuzz_targets.txt
[ -s "$list" ] || { echo "run-fuzzers.sh: no fuzz targets in $build (configure with -DYUTIL_FUZZ=ON)" >&2; exit 2; }
mkdir -p "$build/fuzz-work" "$build/fuzz-findings" "$build/fuzz-logs"

run_one() {
  local name=$1 program=$2 corpus=$3
  mkdir -p "$build/fuzz-work/$name"
  # Bounded memory and time per input: an unbounded allocation or a hang is a finding.
  "$program" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=1024 -malloc_limit_mb=256 \
    -print_final_stats=1 -artifact_prefix="$build/fuzz-findings/$name-" \
    "$build/fuzz-work/$name" "$corpus" >"$build/fuzz-logs/$name.log" 2>&1
}

pids=() names=()
while read -r name program corpus; do
  while [ "$(jobs -rp | wc -l)" -ge "$(nproc)" ]; do sleep 1; done
  run_one "$name" "$program" "$corpus" &
  pids+=($!) names+=("$name")
done <"$list"

failed=0
for i in "${!pids[@]}"; do
  name=${names[$i]} log=$build/fuzz-logs/${names[$i]}.log
  if wait "${pids[$i]}"; then
    # The last status line carries the final coverage (cov) and features (ft).
    status=$(grep -E '^#[0-9]+' "$log" | tail -n 1 | grep -oE 'cov: [0-9]+ ft: [0-9]+' || true)
    execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    echo "fuzz $name: $execs executions, $status"
  else
    failed=1
    echo "fuzz $name: FAILED, log $log" >&2
    tail -n 30 "$log" >&2
  fi
done
exit $failed
