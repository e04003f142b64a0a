#!/bin/sh
# Stands in for the assembler and the interpreter: writes its arguments, each ended by a NUL byte,
# to the file that VORNEX_RECORD_FILE names, which appears whole or not at all.
for argument; do printf '%s\0' "$argument"; done > "$VORNEX_RECORD_FILE.part"
mv "$VORNEX_RECORD_FILE.part" "$VORNEX_RECORD_FILE"
