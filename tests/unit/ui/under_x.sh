#!/usr/bin/env bash
# Runs a test program on a display of its own: a 1024 x 768 Xvfb server, bare or with a
# window manager (openbox), so that windows are placed and stacked as on a real screen.
#   under_x.sh bare|openbox PROGRAM [ARGS...]
set -euo pipefail
mode=$1
shift
dir=$(mktemp -d /tmp/vnk_x.XXXXXX)
xvfb=""
wm=""
cleanup() {
  [ -n "$wm" ] && kill "$wm" 2>/dev/null || true
  [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null || true
  wait 2>/dev/null || true
  rm -rf "$dir"
}
trap cleanup EXIT
# Waits for a condition; the minute only catches a server that never comes up.
ready_within_a_minute() {
  for _ in $(seq 1 1200); do
    "$@" && return 0
    sleep 0.05
  done
  return 1
}
# The server picks a free display and writes its number.
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3> "$dir/display" 2> "$dir/xvfb.log" &
xvfb=$!
ready_within_a_minute test -s "$dir/display" || true
[ -s "$dir/display" ] || { echo "Xvfb did not start:" >&2; cat "$dir/xvfb.log" >&2; exit 1; }
export DISPLAY=":$(tr -d '[:space:]' < "$dir/display")"
if [ "$mode" = openbox ]; then
  openbox --sm-disable > "$dir/wm.log" 2>&1 &
  wm=$!
  # Ready when it has claimed the screen; a run without it would test a bare display.
  claimed() { xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id"; }
  ready_within_a_minute claimed || { echo "openbox did not start:" >&2; cat "$dir/wm.log" >&2; exit 1; }
fi
export QT_QPA_PLATFORM=xcb
"$@"
