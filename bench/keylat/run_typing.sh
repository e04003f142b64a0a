#!/bin/bash
# Fast typing into the 1 MiB source: xdotool types CHARS characters (blocks of code, Enter between
# lines) into an editor as fast as it can, then presses Ctrl+S. The editor has caught up when the
# file is saved: Ctrl+S comes after every typed key. The saved text must hold every character.
#   usage: run_typing.sh OUTDIR [CHARS] [VARIANT] [EDITOR] [WHERE]
#     VARIANT: plain (default) or a11y (accessibility bus and QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1,
#              which Qt programs, the IDE and FeatherPad alike, take for a screen reader)
#     EDITOR:  ide (default) or featherpad        WHERE: end (default) or middle
#   needs KEYLAT_IDE and KEYLAT_INPUTS (c.vornex, made by gen_inputs.py) as for run_keylat.sh
#   prints: typing VARIANT EDITOR WHERE CHARS xdotool_s behind_s complete(yes|no)
set -u
HERE=$(cd "$(dirname "$0")" && pwd)
OUT=$1; CHARS=${2:-20000}; VARIANT=${3:-plain}; EDITOR=${4:-ide}; WHERE=${5:-end}
IDE=${KEYLAT_IDE:-$PWD/build/bin/vornex-ide}
INP=${KEYLAT_INPUTS:-${TMPDIR:-/tmp}/keylat-inputs}
mkdir -p "$OUT"
[ -f "$INP/meta.txt" ] || python3 "$HERE/gen_inputs.py" "$INP" >/dev/null
H=$(mktemp -d); mkdir -m 700 "$H/run"
f=$H/typed.vornex; cp "$INP/c.vornex" "$f"
python3 - "$CHARS" "$H/text" <<'EOF'
import sys
n, text_path = int(sys.argv[1]), sys.argv[2]
block = "blk{\nmov r1, r2\nadd r3, 4\n}\n"  # no indent: an editor may indent new lines itself
text = (block * (n // len(block) + 1))[:n]
open(text_path, "w", newline="").write(text.replace("\n", "\r"))  # xdotool: CR is Return
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
line=$(awk '$1=="c" {print $2}' "$INP/meta.txt"); col=$(awk '$1=="c" {print $3}' "$INP/meta.txt")
if [ "$EDITOR" = featherpad ]; then
  [ "$WHERE" = end ] && line=$(($(wc -l <"$f") + 1)) col=1
  cmd="featherpad -s +$line,$((col - 1)) $f"
else
  cmd=$IDE
fi
( cd "$H" && env -u DBUS_SESSION_BUS_ADDRESS -u QT_LINUX_ACCESSIBILITY_ALWAYS_ON "${envs[@]}" \
    dbus-run-session --config-file="$HERE/session-noact.conf" -- \
    sh -c "$pre echo \$\$ > $H/pid; exec $cmd" >>"$OUT/typing.log" 2>&1 & )
for i in $(seq 100); do [ -s "$H/pid" ] && break; sleep 0.05; done
pid=$(cat "$H/pid")

if [ "$EDITOR" = ide ]; then
  . "$HERE/ide_open.sh"
  ide_open "$pid" "$f"
  if [ "$WHERE" = end ]; then xdotool key ctrl+End; else ide_caret_middle "$W"; fi
else
  W=$(xdotool search --sync --onlyvisible --pid "$pid" 2>/dev/null | head -1)
  xdotool windowfocus --sync "$W"
fi
sleep 1

touch "$H/typing"
t0=$(date +%s%N)
xdotool type --delay 0 --file "$H/text"
t1=$(date +%s%N)
xdotool key ctrl+s
for i in $(seq 12000); do  # up to 20 minutes
  [ "$f" -nt "$H/typing" ] && break
  kill -0 "$pid" 2>/dev/null || break
  sleep 0.1
done
t2=$(date +%s%N)
# Complete: the saved text is the source with the typed text in one place, line ends and the
# indentation an editor adds to new lines aside.
complete=$(python3 - "$f" "$INP/c.vornex" "$H/text" <<'EOF'
import re, sys
saved, source, typed = (re.sub(rb"(?m)^[ \t]+", b"", re.sub(rb"\r\n?", b"\n", open(p, "rb").read()))
                        for p in sys.argv[1:])
at = saved.find(typed)
print("yes" if at >= 0 and saved[:at] + saved[at + len(typed):] == source else "no")
EOF
)
echo "typing $VARIANT $EDITOR $WHERE $CHARS $(( (t1 - t0) / 1000000 ))e-3 $(( (t2 - t1) / 1000000 ))e-3 $complete"

killtree() { local c; for c in $(ps -o pid= --ppid "$1" 2>/dev/null); do killtree "$c"; done; kill -9 "$1" 2>/dev/null; }
killtree "$pid"
kill "$XPID"; wait "$XPID" 2>/dev/null
rm -rf "$H"
