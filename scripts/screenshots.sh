#!/usr/bin/env bash
# Takes the README's pictures (main window, debug output, settings, About) of the IDE on a private
# Xvfb display, into docs/screenshots/.
# Usage: scripts/screenshots.sh [BUILD_DIR]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
out=$root/docs/screenshots

mkdir -p "$out"
python3 "$root/scripts/screenshots.py" "$build" "$out"
for name in main-window debug-output settings about; do
  [ -s "$out/$name.png" ] || { echo "screenshots: $out/$name.png was not made" >&2; exit 1; }
done
ls -l "$out"
