#!/bin/sh
# Runs the fuzzers of the block scanner and of the outline that follows edits for a while each,
# on working copies of the seed corpus.
# Usage: scripts/run-fuzzer.sh BUILD_DIR SECONDS
# New inputs collect in fuzz/corpus-work/TARGET (not versioned); inputs that make the scanner
# differ from its literal transcription or the outline from a fresh scan, crash or trip a
# sanitizer land in BUILD_DIR/fuzz-findings.
set -eu

if [ $# -ne 2 ]; then
    echo "usage: $0 BUILD_DIR SECONDS" >&2
    exit 2
fi
build=$1
seconds=$2
root=$(cd "$(dirname "$0")/.." && pwd)
findings=$build/fuzz-findings
mkdir -p "$findings"
status=0
for target in fuzz_scanblocks fuzz_outline; do
    fuzzer=$build/bin/$target
    if [ ! -x "$fuzzer" ]; then
        echo "$0: $fuzzer not found; configure with CXX=clang++-14 -DVORNEX_FUZZ=ON and build it" >&2
        exit 1
    fi
    work=$root/fuzz/corpus-work/$target
    mkdir -p "$work"
    cp "$root"/fuzz/corpus/* "$work"/
    log=$build/$target.log
    echo "Running $target for $seconds s (log: $log)"
    ASAN_OPTIONS=abort_on_error=1:detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
        "$fuzzer" "$work" -dict="$root/fuzz/scanblocks.dict" -max_len=2048 \
        -max_total_time="$seconds" -print_final_stats=1 -artifact_prefix="$findings/$target-" \
        >"$log" 2>&1 || status=$?
    grep -E '^(#[0-9]+[[:space:]]+DONE|Done [0-9]+ runs)' "$log" | tail -n 2 || true
    grep -E '^stat::(number_of_executed_units|average_exec_per_sec|new_units_added|peak_rss_mb)' "$log" || true
    echo "$work: $(find "$work" -type f | wc -l) inputs"
    [ "$status" -eq 0 ] || { tail -n 40 "$log"; exit 1; }
done
count=$(find "$findings" -type f | wc -l)
echo "findings: $count in $findings"
[ "$count" -eq 0 ]
