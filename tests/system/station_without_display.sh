#!/usr/bin/env bash
# vnk-station started with no display and no platform chosen: one line on stderr that says
# how to run it offscreen, a non-zero exit status, and no crash.
set -u
station=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
ulimit -c 0
env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM VNK_HOME="$work" \
  "$station" >"$work/out" 2>"$work/err"
rc=$?
fail=0
# The station's start-up failure is -1 (255); 129-254 is a death by signal.
if [ "$rc" -ne 255 ]; then
  echo "exit status $rc: expected the start-up failure 255, not success or a signal"
  fail=1
fi
if [ "$(wc -l <"$work/err")" -ne 1 ] || ! grep -q 'QT_QPA_PLATFORM=offscreen' "$work/err"; then
  echo "expected one line on stderr naming QT_QPA_PLATFORM=offscreen"
  fail=1
fi
if [ -s "$work/out" ]; then
  echo "expected nothing on stdout"
  fail=1
fi
echo "--- stderr:"
cat "$work/err"
exit "$fail"
