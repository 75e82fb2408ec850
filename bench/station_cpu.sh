#!/usr/bin/env bash
# The station's CPU use and poll rate with 24 pumps over pseudo-terminals: vnk-station
# (Release, offscreen, headless popups) against vnk-sim. After the fleet is on line, the
# station's user+system CPU time and vnk-sim's reply count are sampled over WINDOW seconds.
# Also prints the station's resident memory.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/release}
window=${WINDOW:-30}
dir=$(mktemp -d /tmp/vnk_cpu.XXXXXX)
trap 'kill -TERM $st $sim 2>/dev/null || true; wait 2>/dev/null || true; rm -rf "$dir"' EXIT
mkdir -p "$dir/home/cfg" "$dir/ports"
printf '\x10' > "$dir/parport"

source scripts/fleet_cfg.sh
write_fleet_cfg "$dir/home/cfg/vnk.cfg"

"$build/bin/vnk-sim" --ports-dir "$dir/ports" --pumps 24 --speed all=1200 > "$dir/sim.log" 2>&1 &
sim=$!
sleep 0.5
VNK_HOME="$dir/home" VNK_PORTS_DIR="$dir/ports" VNK_PARPORT="$dir/parport" VNK_POPUPS=auto \
  QT_QPA_PLATFORM=offscreen "$build/bin/vnk-station" > "$dir/station.log" 2>&1 &
st=$!
sleep 20  # start-up with its splash waits, then the fleet comes on line

ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }
replies() { grep -o 'replies [0-9]*' "$dir/sim.log" | tail -1 | awk '{print $2}'; }
hz=$(getconf CLK_TCK)
c0=$(ticks $st); r0=$(replies); t0=$(date +%s.%N)
sleep "$window"
c1=$(ticks $st); r1=$(replies); t1=$(date +%s.%N)
rss=$(awk '/VmRSS/ {print $2}' /proc/$st/status)
awk -v c0="$c0" -v c1="$c1" -v t0="$t0" -v t1="$t1" -v hz="$hz" -v r0="$r0" -v r1="$r1" -v rss="$rss" 'BEGIN {
  s = t1 - t0;
  printf "station CPU: %.2f %% of one core over %.0f s\n", 100 * (c1 - c0) / hz / s, s;
  printf "replies per pump per second: %.2f\n", (r1 - r0) / 24 / s;
  printf "station resident memory: %.0f MB\n", rss / 1024;
}'
