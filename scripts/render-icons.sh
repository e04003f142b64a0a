#!/bin/sh
# Renders the icon's larger sizes from its scalable picture (rsvg-convert, Debian's librsvg2-bin);
# the 32 x 32 one is drawn pixel by pixel (make-icon.py). Run again when the picture changes.
set -eu
cd "$(dirname "$0")/.."
for size in 48 64 128 256; do
  rsvg-convert --width "$size" --height "$size" data/org.vornex.VornexIDE.svg \
    --output "data/vornex-ide-$size.png"
done
