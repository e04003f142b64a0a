#!/usr/bin/env bash
# Start-up of the IDE side by side with a bare Qt window (QScintilla editor, combo box, menu bar),
# each started RUNS times on a private Xvfb: median time until the window is mapped, its PSS,
# and whether Qt WebEngine was loaded. Further programs (another build of the IDE, other editors)
# are started in the same rounds.
# Usage: scripts/bench-startup.sh [BUILD_DIR] [RUNS] [PROGRAM...], each PROGRAM its full path and
# its arguments in one word, e.g. "/usr/bin/featherpad -s"
set -euo pipefail
build=${1:-build}
runs=${2:-21}
others=("${@:3}")
probe=$build/bench/startup_probe
[ -x "$probe" ] || { echo "build the benchmarks first (make bench)"; exit 1; }

number=$(mktemp)
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset 3>"$number" 2>/dev/null &
xvfb=$!
trap 'kill $xvfb 2>/dev/null; wait $xvfb 2>/dev/null; rm -f "$number"' EXIT
for _ in $(seq 100); do [ "$(wc -l < "$number")" -ge 1 ] && break; sleep 0.05; done
[ "$(wc -l < "$number")" -ge 1 ] || { echo "Xvfb did not start"; exit 1; }
export DISPLAY=:$(cat "$number")
export QT_QPA_PLATFORM=xcb

# Alternate the programs so that load on the machine falls on all alike.
ide=() bare=()
declare -A other
for _ in 1 2 3; do
  ide+=("$("$probe" "$runs" "$build/bin/vornex-ide" | awk '/^RESULT/ {print $2, $3, $4}')")
  bare+=("$("$probe" "$runs" "$build/bench/bare_window" | awk '/^RESULT/ {print $2, $3, $4}')")
  for program in "${others[@]}"; do
    # shellcheck disable=SC2086 # a program's words: its path and arguments
    other[$program]+="$("$probe" "$runs" $program | awk '/^RESULT/ {print $2, $3}') "
  done
done
med() { printf '%s\n' "$@" | sort -n | sed -n "$(( ($# + 1) / 2 ))p"; }
for program in "${others[@]}"; do
  read -r -a got <<< "${other[$program]}"
  echo "$program: window after $(med "${got[0]}" "${got[2]}" "${got[4]}") ms, PSS $(med "${got[1]}" "${got[3]}" "${got[5]}") MiB"
done
ide_ms=$(med $(printf '%s\n' "${ide[@]}" | cut -d' ' -f1))
bare_ms=$(med $(printf '%s\n' "${bare[@]}" | cut -d' ' -f1))
ide_pss=$(med $(printf '%s\n' "${ide[@]}" | cut -d' ' -f2))
bare_pss=$(med $(printf '%s\n' "${bare[@]}" | cut -d' ' -f2))
web=$(printf '%s\n' "${ide[@]}" | cut -d' ' -f3 | sort -n | tail -1)
echo "vornex-ide : window after $ide_ms ms, PSS $ide_pss MiB, Qt WebEngine $([ "$web" = 1 ] && echo loaded || echo 'not loaded')"
echo "bare window: window after $bare_ms ms, PSS $bare_pss MiB"
awk -v a="$ide_ms" -v b="$bare_ms" 'BEGIN { printf "ratio IDE / bare: %.2f (target <= 1.20)\n", a / b }'
