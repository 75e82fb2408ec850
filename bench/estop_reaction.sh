#!/usr/bin/env bash
# E-stop reaction: from the parallel port's status byte losing its loop bit (0x10) to the
# idle speed command written on every polled port. vnk-station (Release, offscreen) against
# vnk-sim with 24 pumps over pseudo-terminals; TRIALS breaks of the loop (default 50). The
# time a pump took its idle comes from vnk-sim's command log; the break is placed on the
# simulator's clock by the newest packet in that log (24 pumps are polled ten times a
# second, so it is a few milliseconds old at most). Prints median, p99 and max of the time
# until the last of the 24 pumps had its idle.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/release}
trials=${TRIALS:-50}
dir=$(mktemp -d /tmp/vnk_estop.XXXXXX)
trap 'kill -TERM $st $sim 2>/dev/null || true; wait 2>/dev/null || true; rm -rf "$dir"' EXIT
mkdir -p "$dir/home/cfg" "$dir/ports"
printf '\x10' > "$dir/parport"
source scripts/fleet_cfg.sh
write_fleet_cfg "$dir/home/cfg/vnk.cfg"

"$build/bin/vnk-sim" --ports-dir "$dir/ports" --pumps 24 --speed all=1200 --quiet \
  --log "$dir/commands.log" > "$dir/sim.log" 2>&1 &
sim=$!
sleep 0.5
VNK_HOME="$dir/home" VNK_PORTS_DIR="$dir/ports" VNK_PARPORT="$dir/parport" VNK_POPUPS=auto \
  QT_QPA_PLATFORM=offscreen "$build/bin/vnk-station" > "$dir/station.log" 2>&1 &
st=$!
sleep 20  # start-up with its splash waits, then the fleet comes on line

simnow() { grep '^t=' "$dir/commands.log" | tail -n 1 | sed 's/^t=\([0-9.]*\).*/\1/'; }
: > "$dir/breaks"
for ((i = 0; i < trials; i++)); do
  echo "$(simnow)" >> "$dir/breaks"
  printf '\x00' > "$dir/parport"
  sleep 0.6
  printf '\x10' > "$dir/parport"
  sleep 0.7
done

python3 - "$dir/breaks" "$dir/commands.log" <<'PY'
import re, statistics, sys
breaks = [float(l) for l in open(sys.argv[1]) if l.strip()]
speed = re.compile(r"^t=([0-9.]+) pump=(\d+) type=3 code=0x1a ")
cmds = []
for line in open(sys.argv[2]):
    m = speed.match(line)
    if m: cmds.append((float(m.group(1)), int(m.group(2))))
slowest = []
for b in breaks:
    first = {}
    for t, p in cmds:
        if t >= b and p not in first: first[p] = t
    if len(first) < 24:
        print(f"a trial reached only {len(first)} pumps"); sys.exit(1)
    slowest.append(max(first.values()) - b)
slowest.sort()
p99 = slowest[min(len(slowest) - 1, int(round(0.99 * (len(slowest) - 1))))]
print(f"E-stop reaction over {len(slowest)} trials, every pump idled: "
      f"median {statistics.median(slowest)*1000:.0f} ms, p99 {p99*1000:.0f} ms, "
      f"max {slowest[-1]*1000:.0f} ms")
PY
