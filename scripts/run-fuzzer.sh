#!/bin/sh
# Runs the block scanner's fuzzer for a while on a working copy of the seed corpus.
# Usage: scripts/run-fuzzer.sh BUILD_DIR SECONDS
# New inputs collect in fuzz/corpus-work (not versioned); inputs that make the scanner differ
# from its literal transcription, crash or trip a sanitizer land in BUILD_DIR/fuzz-findings.
set -eu

if [ $# -ne 2 ]; then
    echo "usage: $0 BUILD_DIR SECONDS" >&2
    exit 2
fi
build=$1
seconds=$2
root=$(cd "$(dirname "$0")/.." && pwd)
fuzzer=$build/bin/fuzz_scanblocks
if [ ! -x "$fuzzer" ]; then
    echo "$0: $fuzzer not found; configure with CXX=clang++-14 -DVORNEX_FUZZ=ON and build it" >&2
    exit 1
fi

work=$root/fuzz/corpus-work
findings=$build/fuzz-findings
mkdir -p "$work" "$findings"
cp "$root"/fuzz/corpus/* "$work"/
log=$build/fuzz-scanblocks.log

echo "Fuzzing the block scanner for $seconds s (log: $log)"
status=0
ASAN_OPTIONS=abort_on_error=1:detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    "$fuzzer" "$work" -dict="$root/fuzz/scanblocks.dict" -max_len=2048 \
    -max_total_time="$seconds" -print_final_stats=1 -artifact_prefix="$findings/" \
    >"$log" 2>&1 || status=$?

grep -E '^(#[0-9]+[[:space:]]+DONE|Done [0-9]+ runs)' "$log" | tail -n 2 || true
grep -E '^stat::(number_of_executed_units|average_exec_per_sec|new_units_added|peak_rss_mb)' "$log" || true
count=$(find "$findings" -type f | wc -l)
echo "corpus-work: $(find "$work" -type f | wc -l) inputs; findings: $count in $findings"
if [ "$status" -ne 0 ] || [ "$count" -ne 0 ]; then
    tail -n 40 "$log"
    exit 1
fi
