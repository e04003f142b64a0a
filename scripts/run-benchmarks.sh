#!/usr/bin/env bash
# Runs every benchmark of the IDE and prints medians of repeated runs.
# Usage: scripts/run-benchmarks.sh [BUILD_DIR]; with KEYLAT_IDE0 set to another build of the IDE
# (its vornex-ide), that build is measured beside this one.
set -euo pipefail
build=${1:-build}
cd "$(dirname "$0")/.."
bench=$build/bench
args=(--benchmark_repetitions=7 --benchmark_report_aggregates_only=true)

echo "== Block scanner (ScanBlocks and the literal algorithm) =="
"$bench/bench_outline" "${args[@]}"
echo
echo "== Keystroke: one key typed into the editor until the block list is up to the text =="
QT_QPA_PLATFORM=offscreen "$bench/bench_keystroke" "${args[@]}"
echo
echo "== Block list popup opened after a rebuild, on its longest entries =="
QT_QPA_PLATFORM=offscreen "$bench/bench_blocklist" "${args[@]}"
echo
echo "== Open and Save of a 10 MiB file; what sets the limits of Open =="
QT_QPA_PLATFORM=offscreen "$bench/bench_files" "${args[@]}"
echo
echo "== Start-up beside a bare Qt window =="
scripts/bench-startup.sh "$build" 21 ${KEYLAT_IDE0:+"$KEYLAT_IDE0"}
echo
# Key to paint under Xvfb: the IDE, a bare QScintilla window and the peers that are installed,
# interleaved in one run, without and with the accessibility bus (KEYLAT_REPS runs of
# KEYLAT_KEYS keys each), with the editors' CPU per key; then fast typing into the 1 MiB source.
echo "== Key to paint under Xvfb (ms, medians of the runs' medians) and CPU per key (ms) =="
abs=$(cd "$build" && pwd)
editors="ide${KEYLAT_IDE0:+ ide0} bareqsci"
for peer in featherpad geany; do
  if command -v "$peer" >/dev/null; then editors="$editors $peer"; fi
done
out=$abs/bench/keylat-run
rm -rf "$out"
export KEYLAT_BIN=$abs/bench KEYLAT_IDE=$abs/bin/vornex-ide KEYLAT_INPUTS=$abs/bench/keylat-inputs
bench/keylat/run_keylat.sh "$out" "${KEYLAT_REPS:-3}" "$editors" "a b c d e" "plain a11y" \
  "${KEYLAT_KEYS:-50}" 6 >"$out.log"
bench/keylat/summarize.py "$out"
echo
echo "== Open 16 MiB of line breaks, without and with a listening screen reader (s) =="
bench/keylat/run_open.py 3 "ide${KEYLAT_IDE0:+ ide0}" "plain a11y" | grep median
echo
echo "== Typing with xdotool into the 1 MiB source (s) =="
echo "variant editor where characters xdotool done-after-xdotool saved-file-complete"
for variant in plain a11y; do
  bench/keylat/run_typing.sh "$out" 20000 "$variant"
done
# Into the middle of the text with the accessibility bus on, beside FeatherPad.
for editor in ide featherpad; do
  if [ $editor = ide ] || command -v $editor >/dev/null; then
    bench/keylat/run_typing.sh "$out" 2000 a11y $editor middle
  fi
done
