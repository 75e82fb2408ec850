#!/usr/bin/env bash
# The station's CPU use and poll rate with 24 pumps over pseudo-terminals: vnk-station
# (Release, offscreen, headless popups) against vnk-sim. After the fleet is on line, the
# station's user+system CPU time and vnk-sim's reply count are sampled over WINDOW seconds.
# Also prints the station's resident memory.
# FULL=1 switches every feature on: recording from the start, vnk-blender sending at 1 Hz
# (and checking every reply), pumps 17-24 on automatic control holding a rate, the event
# journal, and the trend window open; the fleet then has 40 s to settle. The rate is applied
# and the trend window opened by the demo drivers, so FULL=1 measures vnk-station-demo (the
# same process as vnk-station, with one-shot timers added).
# HANGUP=n: pump n's port hangs up 5 s into the run (the station closes it); the window then
# shows whether anything is left spinning on it (a port left in the poll set took a core).
# UNPLUG=LIST (e.g. 3,9,17): those pumps' adapters are pulled 15 s into the run (the fleet
# on line by then) and stay out: the window, from 25 s on, measures the station while it
# tries them again every 2 s.
# REMOTE=1: the station publishes to a mosquitto broker started on a free loopback port (its
# 24 pumps, fleet, heartbeat and journal); a subscriber takes every message, as a viewer
# would. Compare with a run without it for the cost of remote monitoring. REMOTE=idle starts
# the broker and the subscriber alone, the station not publishing: the control for what the
# two busy processes beside the station cost it.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/release}
window=${WINDOW:-30}
dir=$(mktemp -d /tmp/vnk_cpu.XXXXXX)
trap 'kill -TERM $st $sim $broker $subscriber 2>/dev/null || true; wait 2>/dev/null || true; [ -n "${KEEP:-}" ] || rm -rf "$dir"' EXIT
mkdir -p "$dir/home/cfg" "$dir/ports"
printf '\x10' > "$dir/parport"

source scripts/fleet_cfg.sh
write_fleet_cfg "$dir/home/cfg/vnk.cfg"
full=${FULL:-0}
extra=()
speeds=(--speed all=1200)
settle=20  # start-up with its splash waits, then the fleet comes on line
blender=""
if [ "$full" = 1 ]; then
  printf '127.0.0.1' | dd of="$dir/home/cfg/vnk.cfg" bs=1 seek=45 conv=notrunc status=none
  for i in $(seq 16 23); do
    printf '\x01' | dd of="$dir/home/cfg/vnk.cfg" bs=1 seek=$((542 + i)) conv=notrunc status=none
  done
  printf 'Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Qorv\\VNKPC]\r\n"AutoRecord"=dword:00000001\r\n' \
    > "$dir/home/cfg/registry.reg"
  extra=(--state "$dir/fleet.state" --log "$dir/commands.log" --drive-on all)
  # The demo's speeds: 24 pumps at 1200 rpm would lift the well past the trip points.
  speeds=(--speed 1-8=620 --speed 9-16=680 --speed 17-24=720)
  settle=40
fi
port=${VNK_BLENDER_PORT:-$((20000 + RANDOM % 20000))}
broker=""
subscriber=""
if [ "${REMOTE:-0}" = 1 ] || [ "${REMOTE:-0}" = idle ]; then
  mqtt_port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
  user_line=""
  [ "$(id -u)" = 0 ] && user_line="user root"
  printf 'listener %s 127.0.0.1\nallow_anonymous true\npersistence false\n%s\n' "$mqtt_port" "$user_line" \
    > "$dir/mosquitto.conf"
  /usr/sbin/mosquitto -c "$dir/mosquitto.conf" > "$dir/broker.log" 2>&1 &
  broker=$!
  sleep 0.5
  mosquitto_sub -h 127.0.0.1 -p "$mqtt_port" -t 'vnk/#' -q 1 > "$dir/viewer.log" 2>&1 &
  subscriber=$!
  [ "$REMOTE" = idle ] || { [ -f "$dir/home/cfg/registry.reg" ] ||
    printf 'Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Qorv\\VNKPC]\r\n' > "$dir/home/cfg/registry.reg"
  printf '"Remote Enabled"=dword:00000001\r\n"Remote Host"="127.0.0.1"\r\n"Remote Port"=dword:%08x\r\n"Remote Site"="bench"\r\n"Remote Station"="van"\r\n' \
    "$mqtt_port" >> "$dir/home/cfg/registry.reg"; }
fi
[ -n "${HANGUP:-}" ] && extra+=(--fail "$HANGUP=hangup@5")
unplug=${UNPLUG:-}
for p in ${unplug//,/ }; do extra+=(--fail "$p=unplug@15"); done
[ -n "$unplug" ] && settle=25

"$build/bin/vnk-sim" --ports-dir "$dir/ports" --pumps 24 "${speeds[@]}" "${extra[@]}" \
  > "$dir/sim.log" 2>&1 &
sim=$!
if [ "$full" = 1 ]; then
  "$build/bin/vnk-blender" --port "$port" --state "$dir/fleet.state" > "$dir/blender.log" 2>&1 &
  blender=$!
  trap 'kill -TERM $st $sim $blender $broker $subscriber 2>/dev/null || true; wait 2>/dev/null || true; [ -n "${KEEP:-}" ] || rm -rf "$dir"' EXIT
fi
sleep 0.5
if [ "$full" = 1 ]; then
  VNK_HOME="$dir/home" VNK_PORTS_DIR="$dir/ports" VNK_PARPORT="$dir/parport" VNK_POPUPS=auto \
    VNK_BLENDER_PORT="$port" VNK_DEMO_AUTO=${FULL_AUTO_RATE:-85} VNK_DEMO_TRENDS=25 \
    QT_QPA_PLATFORM=offscreen "$build/bin/vnk-station-demo" > "$dir/station.log" 2>&1 &
else
  VNK_HOME="$dir/home" VNK_PORTS_DIR="$dir/ports" VNK_PARPORT="$dir/parport" VNK_POPUPS=auto \
    QT_QPA_PLATFORM=offscreen "$build/bin/vnk-station" > "$dir/station.log" 2>&1 &
fi
st=$!
sleep "$settle"

ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }
replies() { grep -o 'replies [0-9]*' "$dir/sim.log" | tail -1 | awk '{print $2}'; }
hz=$(getconf CLK_TCK)
mqtt_ticks() {
  local task
  for task in /proc/$st/task/*; do
    [ "$(cat "$task/comm" 2>/dev/null)" = vnk-mqtt ] && { awk '{print $14 + $15}' "$task/stat"; return; }
  done
  echo 0
}
viewed() { [ -n "$subscriber" ] && wc -l < "$dir/viewer.log" || echo 0; }
c0=$(ticks $st); r0=$(replies); t0=$(date +%s.%N); v0=$(viewed); mq0=$(mqtt_ticks)
sleep "$window"
c1=$(ticks $st); r1=$(replies); t1=$(date +%s.%N); v1=$(viewed); mq1=$(mqtt_ticks)
rss=$(awk '/VmRSS/ {print $2}' /proc/$st/status)
awk -v c0="$c0" -v c1="$c1" -v t0="$t0" -v t1="$t1" -v hz="$hz" -v r0="$r0" -v r1="$r1" -v rss="$rss" 'BEGIN {
  s = t1 - t0;
  printf "station CPU: %.2f %% of one core over %.0f s\n", 100 * (c1 - c0) / hz / s, s;
  printf "replies per pump per second: %.2f\n", (r1 - r0) / 24 / s;
  printf "station resident memory: %.0f MB\n", rss / 1024;
}'
if [ -n "$subscriber" ]; then
  # The MQTT client's own thread, apart from the rest of the station.
  awk -v m0="$mq0" -v m1="$mq1" -v t0="$t0" -v t1="$t1" -v hz="$hz" \
    'BEGIN { printf "of which the MQTT client thread: %.3f %% of one core\n", 100 * (m1 - m0) / hz / (t1 - t0) }'
  awk -v v0="$v0" -v v1="$v1" -v t0="$t0" -v t1="$t1" 'BEGIN { printf "messages a viewer received per second: %.1f\n", (v1 - v0) / (t1 - t0) }'
fi
if [ "$full" = 1 ]; then
  kill -TERM "$st" 2>/dev/null || true  # SIGTERM: the station stops recording and saves
  wait "$st" 2>/dev/null || true
  kill -TERM "$blender" 2>/dev/null || true
  wait "$blender" 2>/dev/null || true
  echo "blender peer: $(grep -o 'summary.*' "$dir/blender.log" | tail -1)"
  echo "recordings: $(ls "$dir/home/data" 2>/dev/null | grep -c '\.csv$' || true) CSV files; journal: $(ls "$dir/home/journal" 2>/dev/null | grep -c '^journal.db$') database"
  # The controller's speed commands: vnk-sim's log numbers pumps from 1, as the station does.
  echo "speed commands to pumps 17-24 after the Apply: $(grep -ciE 'pump=(1[7-9]|2[0-4]) .*code=0x1a.*rpm=' "$dir/commands.log" || true)"
fi
