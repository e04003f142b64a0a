# Opens FILE in the IDE whose process is PID through File > Load (Ctrl+L): the path typed into the
# file dialog, then Enter; waits for the caption that names the file. Sets W (the main window) and
# LOAD_S (seconds from Enter to that caption). ide_caret_middle puts the caret in the middle of the
# text. Sourced by run_keylat.sh and run_typing.sh.
ide_open() { # pid file
  local pid=$1 f=$2 t0
  W=$(xdotool search --sync --onlyvisible --pid "$pid" 2>/dev/null | head -1)
  xdotool windowfocus --sync "$W"; sleep 0.3
  xdotool key ctrl+l
  for i in $(seq 50); do [ "$(xdotool getwindowfocus getwindowname 2>/dev/null)" = "Vor Source File" ] && break; sleep 0.1; done
  sleep 0.3
  xdotool key ctrl+a; xdotool type --delay 3 "$f"; xdotool key Return
  t0=$(date +%s%N)
  for i in $(seq 600); do xdotool getwindowname "$W" 2>/dev/null | grep -q "^KELD IDE - $f" && break; sleep 0.1; done
  LOAD_S=$(( ($(date +%s%N) - t0) / 1000000 ))e-3
  xdotool windowfocus --sync "$W"; sleep 0.5
}

# Middle-click on the vertical scroll bar's trough centre jumps to the middle of the text, then a
# click in the text puts the caret there, Home puts it after the indent; the pointer goes away from
# the text (no hover effects).
ide_caret_middle() { # window
  xdotool mousemove --window "$1" 441 194 click 2; sleep 0.5
  xdotool mousemove --window "$1" 150 200 click 1; sleep 0.2
  xdotool key Home
  xdotool mousemove 1590 1190
}
