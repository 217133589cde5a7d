#!/usr/bin/env bash
# Builds the libFuzzer harnesses and runs each for a bounded time (seconds,
# default 60) from a copy of its seed corpus. A crash, leak, hang or
# mismatch ends the run with a non-zero status and leaves the input in
# build/fuzz/findings.
set -euo pipefail
top=$(cd "$(dirname "$0")/../.." && pwd)
seconds=${1:-60}
cd "$top"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz
findings=$top/build/fuzz/findings
mkdir -p "$findings"
for harness in script build encoder decoder; do
    seeds=tests/fuzz/corpus/whole_run
    lengths=()
    if [ "$harness" = encoder ]; then
        seeds=tests/fuzz/corpus/encoder
        # Inputs longer than the 4096-byte window from the start, so that
        # removals, deep trees and their shortcuts are reached within the run.
        lengths=(-max_len=16384 -len_control=0)
    fi
    if [ "$harness" = decoder ]; then
        seeds=tests/fuzz/corpus/decoder
        lengths=(-max_len=16384)
    fi
    # A corpus folder of this run's own: two runs on one machine never share one.
    work=$(mktemp -d "${TMPDIR:-/tmp}/hackcomp-fuzz-$harness-XXXXXX")
    trap 'rm -rf "$work"' EXIT
    cp "$seeds"/* "$work"/
    echo "== fuzz_$harness for ${seconds} s"
    status=0
    build/fuzz/bin/fuzz_$harness -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 ${lengths[@]+"${lengths[@]}"} \
        -artifact_prefix="$findings/$harness-" -print_final_stats=1 "$work" >"$findings/$harness.log" 2>&1 ||
        status=$?
    grep -E '^(Done|stat::number_of_executed_units|==[0-9]+==ERROR|SUMMARY)' "$findings/$harness.log" || true
    rm -rf "$work"
    [ "$status" = 0 ] || { echo "fuzz_$harness failed (status $status)"; exit 1; }
done
