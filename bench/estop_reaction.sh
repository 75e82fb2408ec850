#!/usr/bin/env bash
# E-stop reaction: from the parallel port's status byte losing its loop bit (0x10) to the
# idle speed command taken in by every polled pump. vnk-station (Release, offscreen) against
# vnk-sim with 24 pumps over pseudo-terminals, at 19200-baud line timing (--line-timing):
# a pump takes its idle when the command's last byte has crossed its line, behind whatever
# the station wrote to it just before (a poll, whose reply then holds the line too). The
# time a pump took its idle comes from vnk-sim's command log; the break is placed on the
# simulator's clock by the wall-clock time taken just before the status byte is written,
# less the wall-clock time of the log's t=0 (its first line). The newest packet in the log
# is no clock: at line timing the polls come in bursts, and the log is silent for most of
# each poll period. Prints median, p99 and max of the time until the last of the 24 pumps
# had its idle.
#
#   bash bench/estop_reaction.sh [BUILD]              one build (default build/release)
#   bash bench/estop_reaction.sh NEW_BUILD OLD_BUILD  A/B: the two builds alternately
#
# TRIALS: breaks of the loop per build in all (default 50). ROUNDS: how many blocks those
# trials are split into per build (default 1 with one build, 5 with two). A block starts a
# fresh vnk-sim and station from its build, waits SETTLE seconds (default 20) for start-up
# and the fleet, breaks the loop TRIALS/ROUNDS times, and stops them. With two builds the
# blocks alternate A B, B A, A B, ... so that drift in the machine's load falls on both
# builds alike; the figures are printed per build (with the mean and each block's median),
# then the ratios new/old. Every block runs the first build's vnk-sim, so that only the
# station differs; it must know --line-timing, so the newer build goes first.
set -euo pipefail
cd "$(dirname "$0")/.."
builds=("${@:-build/release}")
if [ ${#builds[@]} -gt 2 ]; then
  echo "usage: $0 [BUILD] | NEW_BUILD OLD_BUILD" >&2
  exit 2
fi
for b in "${builds[@]}"; do
  [ -x "$b/bin/vnk-station" ] || { echo "no $b/bin/vnk-station" >&2; exit 2; }
done
simulator="${builds[0]}/bin/vnk-sim"
[ -x "$simulator" ] || { echo "no $simulator" >&2; exit 2; }
# The whole help text first: grep -q leaves at its first match, and under pipefail the
# simulator's broken pipe would read as "not there".
if ! grep -q -- '--line-timing' <<<"$("$simulator" --help 2>&1)"; then
  echo "$simulator has no --line-timing: give the build that has it first" >&2
  exit 2
fi
trials=${TRIALS:-50}
if [ ${#builds[@]} -eq 2 ]; then rounds=${ROUNDS:-5}; else rounds=${ROUNDS:-1}; fi
settle=${SETTLE:-20}
per_block=$(((trials + rounds - 1) / rounds))
work=$(mktemp -d /tmp/vnk_estop.XXXXXX)
st=""
sim=""
stop_block() {
  [ -n "$st" ] && kill -TERM "$st" 2>/dev/null || true
  [ -n "$sim" ] && kill -TERM "$sim" 2>/dev/null || true
  [ -n "$st" ] && wait "$st" 2>/dev/null || true
  [ -n "$sim" ] && wait "$sim" 2>/dev/null || true
  st=""
  sim=""
}
trap 'stop_block; rm -rf "$work"' EXIT
source scripts/fleet_cfg.sh

# One block: a fresh simulator and station from build $1, $per_block breaks of the loop,
# recorded in folder $2 (breaks, commands.log).
run_block() {
  local build=$1 dir=$2
  mkdir -p "$dir/home/cfg" "$dir/ports"
  printf '\x10' > "$dir/parport"
  write_fleet_cfg "$dir/home/cfg/vnk.cfg"
  "$simulator" --ports-dir "$dir/ports" --pumps 24 --speed all=1200 --line-timing --quiet \
    --log "$dir/commands.log" > "$dir/sim.log" 2>&1 &
  sim=$!
  sleep 0.5
  VNK_HOME="$dir/home" VNK_PORTS_DIR="$dir/ports" VNK_PARPORT="$dir/parport" VNK_POPUPS=auto \
    QT_QPA_PLATFORM=offscreen "$build/bin/vnk-station" > "$dir/station.log" 2>&1 &
  st=$!
  sleep "$settle"  # start-up with its splash waits, then the fleet comes on line
  if ! kill -0 "$st" 2>/dev/null; then
    echo "the station of $build ended during start-up:" >&2
    tail -n 5 "$dir/station.log" >&2
    exit 1
  fi
  local start
  start=$(sed -n 's/^# start wall=//p' "$dir/commands.log" | head -n 1)
  [ -n "$start" ] || { echo "vnk-sim of ${builds[0]} writes no start line in its log" >&2; exit 2; }
  : > "$dir/breaks"
  for ((i = 0; i < per_block; i++)); do
    awk -v now="$(date +%s.%N)" -v start="$start" 'BEGIN { printf "%.4f\n", now - start }' \
      >> "$dir/breaks"
    printf '\x00' > "$dir/parport"
    sleep 0.6
    printf '\x10' > "$dir/parport"
    # A random 0-99 ms more each time: breaks 1.3 s apart would all fall at one phase of
    # the station's poll cycle for a whole block, and each block at another.
    sleep "$(awk -v r="$RANDOM" 'BEGIN { printf "%.3f", 0.7 + (r % 100) / 1000 }')"
  done
  stop_block
}

# The blocks: build index per block, alternating A B, B A, ...
order=()
for ((r = 0; r < rounds; r++)); do
  if [ ${#builds[@]} -eq 1 ]; then
    order+=(0)
  elif ((r % 2 == 0)); then
    order+=(0 1)
  else
    order+=(1 0)
  fi
done
blocks=()
n=0
for k in "${order[@]}"; do
  dir="$work/block$n"
  if [ ${#order[@]} -gt 1 ]; then
    echo "block $((n + 1))/${#order[@]}: ${builds[$k]}, $per_block trials" >&2
  fi
  run_block "${builds[$k]}" "$dir"
  blocks+=("$k" "$dir")
  n=$((n + 1))
done

python3 - "${#builds[@]}" "${builds[@]}" "${blocks[@]}" <<'PY'
import re, statistics, sys
nbuilds = int(sys.argv[1])
names = sys.argv[2:2 + nbuilds]
rest = sys.argv[2 + nbuilds:]
speed = re.compile(r"^t=([0-9.]+) pump=(\d+) type=3 code=0x1a ")
slowest = [[] for _ in names]
block_medians = [[] for _ in names]
for k, d in zip(rest[0::2], rest[1::2]):
    k = int(k)
    breaks = [float(l) for l in open(f"{d}/breaks") if l.strip()]
    cmds = []
    for line in open(f"{d}/commands.log"):
        m = speed.match(line)
        if m: cmds.append((float(m.group(1)), int(m.group(2))))
    block = []
    for b in breaks:
        first = {}
        for t, p in cmds:
            if t >= b and p not in first: first[p] = t
        if len(first) < 24:
            print(f"{names[k]}: a trial reached only {len(first)} pumps"); sys.exit(1)
        block.append(max(first.values()) - b)
    slowest[k] += block
    block_medians[k].append(statistics.median(block))

def figures(s):
    s = sorted(s)
    p99 = s[min(len(s) - 1, int(round(0.99 * (len(s) - 1))))]
    return statistics.median(s), p99, s[-1], statistics.mean(s)

results = [figures(s) for s in slowest]
for name, s, (med, p99, mx, mean) in zip(names, slowest, results):
    if nbuilds == 1:
        print(f"E-stop reaction over {len(s)} trials, every pump idled: "
              f"median {med*1000:.0f} ms, p99 {p99*1000:.0f} ms, max {mx*1000:.0f} ms")
    else:
        print(f"{name}: E-stop reaction over {len(s)} trials, every pump idled: "
              f"median {med*1000:.0f} ms, p99 {p99*1000:.0f} ms, max {mx*1000:.0f} ms, "
              f"mean {mean*1000:.1f} ms")
# Each block is a station started afresh: its median beside the others shows how far the
# blocks differ among themselves, which a difference between the builds has to exceed.
if nbuilds == 2:
    for name, meds in zip(names, block_medians):
        print(f"{name}: block medians " + " ".join(f"{m*1000:.0f}" for m in meds) + " ms")
    (a, b) = results
    print("new/old ({} / {}): median {:.3f}, p99 {:.3f}, max {:.3f}, mean {:.3f}".format(
        names[0], names[1], a[0] / b[0], a[1] / b[1], a[2] / b[2], a[3] / b[3]))
PY
