#!/bin/bash
# Fast typing at the end of the 1 MiB source: xdotool types CHARS characters (blocks of code, Enter
# between lines) into the IDE as fast as it can, then presses Ctrl+S. The IDE has caught up when
# the saved file holds the text with every character typed.
#   usage: run_typing.sh OUTDIR [CHARS] [VARIANT]      VARIANT: plain (default) or a11y
#   needs KEYLAT_IDE and KEYLAT_INPUTS (c.vornex, made by gen_inputs.py) as for run_keylat.sh
#   prints: typing VARIANT CHARS xdotool_s ide_behind_s complete(yes|no)
set -u
HERE=$(cd "$(dirname "$0")" && pwd)
OUT=$1; CHARS=${2:-20000}; VARIANT=${3:-plain}
IDE=${KEYLAT_IDE:-$PWD/build/bin/vornex-ide}
INP=${KEYLAT_INPUTS:-${TMPDIR:-/tmp}/keylat-inputs}
mkdir -p "$OUT"
[ -f "$INP/meta.txt" ] || python3 "$HERE/gen_inputs.py" "$INP" >/dev/null
H=$(mktemp -d); mkdir -m 700 "$H/run"
f=$H/typed.vornex; cp "$INP/c.vornex" "$f"
python3 - "$CHARS" "$H/text" "$f" "$H/expected" <<'EOF'
import sys
n, text_path, source, expected = int(sys.argv[1]), sys.argv[2], sys.argv[3], sys.argv[4]
block = "blk{\n  mov r1, r2\n  add r3, 4\n}\n"
text = (block * (n // len(block) + 1))[:n]
open(text_path, "w", newline="").write(text.replace("\n", "\r"))  # xdotool: CR is Return
open(expected, "wb").write(open(source, "rb").read() + text.replace("\n", "\r\n").encode())
EOF

rm -f "$OUT/xvfb.display"
Xvfb -displayfd 3 -screen 0 1600x1200x24 -dpi 96 -nolisten tcp 3>"$OUT/xvfb.display" >/dev/null 2>&1 &
XPID=$!
for i in $(seq 100); do [ -s "$OUT/xvfb.display" ] && break; sleep 0.1; done
export DISPLAY=:$(cat "$OUT/xvfb.display")

envs=(HOME="$H" XDG_RUNTIME_DIR="$H/run" LANG=C.UTF-8 NO_AT_BRIDGE=1)
pre=""
if [ "$VARIANT" = a11y ]; then
  envs+=(QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1)
  pre="/usr/libexec/at-spi-bus-launcher --launch-immediately & sleep 1;"
fi
( cd "$H" && env -u DBUS_SESSION_BUS_ADDRESS "${envs[@]}" \
    dbus-run-session --config-file="$HERE/session-noact.conf" -- \
    sh -c "$pre echo \$\$ > $H/pid; exec $IDE" >>"$OUT/typing.log" 2>&1 & )
for i in $(seq 100); do [ -s "$H/pid" ] && break; sleep 0.05; done
pid=$(cat "$H/pid")

. "$HERE/ide_open.sh"
ide_open "$pid" "$f"
xdotool key ctrl+End; sleep 0.5

t0=$(date +%s%N)
xdotool type --delay 0 --file "$H/text"
t1=$(date +%s%N)
xdotool key ctrl+s
done=no
for i in $(seq 12000); do  # up to 20 minutes
  if cmp -s "$f" "$H/expected"; then done=yes; break; fi
  kill -0 "$pid" 2>/dev/null || break
  sleep 0.1
done
t2=$(date +%s%N)
echo "typing $VARIANT $CHARS $(( (t1 - t0) / 1000000 ))e-3 $(( (t2 - t1) / 1000000 ))e-3 $done"

killtree() { local c; for c in $(ps -o pid= --ppid "$1" 2>/dev/null); do killtree "$c"; done; kill -9 "$1" 2>/dev/null; }
killtree "$pid"
kill "$XPID"; wait "$XPID" 2>/dev/null
rm -rf "$H"
