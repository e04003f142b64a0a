#!/usr/bin/env bash
# Runs every benchmark of the IDE and prints medians of repeated runs.
# Usage: scripts/run-benchmarks.sh [BUILD_DIR]
set -euo pipefail
build=${1:-build}
cd "$(dirname "$0")/.."
bench=$build/bench
args=(--benchmark_repetitions=7 --benchmark_report_aggregates_only=true)

echo "== Block scanner (ScanBlocks and the literal algorithm) =="
"$bench/bench_outline" "${args[@]}"
echo
echo "== Keystroke: one key typed into the editor until the block list is rebuilt =="
QT_QPA_PLATFORM=offscreen "$bench/bench_keystroke" "${args[@]}"
echo
echo "== Block list popup opened after a rebuild, on its longest entries =="
QT_QPA_PLATFORM=offscreen "$bench/bench_blocklist" "${args[@]}"
echo
echo "== Open and Save of a 10 MiB file; what sets the limits of Open =="
QT_QPA_PLATFORM=offscreen "$bench/bench_files" "${args[@]}"
echo
echo "== Start-up beside a bare Qt window =="
scripts/bench-startup.sh "$build"
