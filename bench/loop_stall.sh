#!/usr/bin/env bash
# The event loop's pace under slow I/O: the gaps between the E-stop input's samples (one each
# tick of its timer, traced with the loop's clock) while the recordings move to the archive
# (a 200 MB file among them) and while the blender computer sends 1 MiB of readings at once.
# Release vnk-station-demo, offscreen, against vnk-sim with 24 pumps over pseudo-terminals.
# Three runs: quiet (the baseline), the move, the flood. Each prints the longest gap and
# its 99th percentile from 25 s after start (the fleet on line) to the end, and the longest
# gap within 15 s of the event; the excess over the timer's interval is the loop's stall.
#
# Remote monitoring: SCENARIOS="quiet remote silent" adds a run publishing to a mosquitto
# broker, and one against a "broker" that takes the connection and never answers (each
# attempt given up after 10 s and tried again). SCENARIOS=lookup: a broker whose name the
# site's name server never answers for (the station in a network and mount namespace of its
# own, as root, whose resolv.conf names a local server that takes each question and never
# answers), while Apply replaces the client every 5 s (VNK_DEMO_REMOTE_APPLY); it prints the
# longest gap within 2 s of each Apply.
#
#   bash bench/loop_stall.sh [BUILD]      (default build/release; needs vnk-station-demo, vnk-sim)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/release}
for p in vnk-station-demo vnk-sim; do
  [ -x "$build/bin/$p" ] || { echo "no $build/bin/$p" >&2; exit 2; }
done
source scripts/fleet_cfg.sh
work=$(mktemp -d /tmp/vnk_stall.XXXXXX)
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill -TERM "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
  [ -n "${KEEP:-}" ] || rm -rf "$work"
}
trap cleanup EXIT

# A blender computer that, FLOOD_AFTER seconds after the station connects, sends 1 MiB of
# readings in one write, and reads whatever the station answers.
flood_peer() {
  python3 - "$1" "$2" <<'PY'
import socket, sys, threading, time
port, after = int(sys.argv[1]), float(sys.argv[2])
srv = socket.socket()
srv.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
srv.bind(("127.0.0.1", port))
srv.listen(1)
conn, _ = srv.accept()
def drain():
    try:
        while conn.recv(65536):
            pass
    except OSError:
        pass
threading.Thread(target=drain, daemon=True).start()
time.sleep(after)
line = b"1000.0\r\n"
conn.sendall(line * ((1 << 20) // len(line)))
print("flood sent", flush=True)
time.sleep(30)
PY
}

# Takes connections and never answers them.
silent_peer() {
  python3 - "$1" <<'PY'
import socket, sys, time
srv = socket.socket()
srv.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
srv.bind(("127.0.0.1", int(sys.argv[1])))
srv.listen(16)
held = []
srv.settimeout(1.0)
end = time.time() + 120
while time.time() < end:
    try:
        held.append(srv.accept()[0])
    except socket.timeout:
        pass
PY
}

# A name server that takes every question and never answers.
silent_dns='
import socket, time
s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
s.bind(("127.0.0.1", 53))
s.settimeout(1.0)
end = time.time() + 70
while time.time() < end:
    try:
        s.recvfrom(512)
    except socket.timeout:
        pass
'

remote_settings() {
  printf '"Remote Enabled"=dword:00000001\r\n"Remote Host"="%s"\r\n"Remote Port"=dword:%08x\r\n"Remote Site"="bench"\r\n"Remote Station"="van"\r\n' "${3:-127.0.0.1}" "$2" \
    >> "$1/home/cfg/registry.reg"
}

run() {
  local name=$1 dir="$work/$1"
  mkdir -p "$dir/home/cfg" "$dir/home/data" "$dir/archive" "$dir/ports"
  printf '\x10' > "$dir/parport"
  write_fleet_cfg "$dir/home/cfg/vnk.cfg"
  printf 'Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Qorv\\VNKPC]\r\n"AutoRecord"=dword:00000001\r\n' \
    > "$dir/home/cfg/registry.reg"
  local env=(VNK_HOME="$dir/home" VNK_PORTS_DIR="$dir/ports" VNK_PARPORT="$dir/parport"
             VNK_POPUPS=auto QT_QPA_PLATFORM=offscreen VNK_TRACE=estop-samples VNK_ARCHIVE_DIR="$dir/archive")
  local port=$((20000 + RANDOM % 20000))
  local wrap=()
  case "$name" in
    move)
      # A long recording's file, moved with the others at the stop.
      head -c 200000000 /dev/urandom > "$dir/home/data/long_1.csv"
      sync  # the file is on disk before the station starts: its setup is not measured
      env+=(VNK_DEMO_RECORD_STOP=35) ;;
    flood)
      printf '127.0.0.1' | dd of="$dir/home/cfg/vnk.cfg" bs=1 seek=45 conv=notrunc status=none
      env+=(VNK_BLENDER_PORT="$port")
      flood_peer "$port" 25 > "$dir/peer.log" 2>&1 &
      pids+=($!) ;;
    remote)
      printf 'listener %s 127.0.0.1\nallow_anonymous true\npersistence false\n%s\n' "$port" \
        "$([ "$(id -u)" = 0 ] && echo 'user root')" > "$dir/mosquitto.conf"
      /usr/sbin/mosquitto -c "$dir/mosquitto.conf" > "$dir/broker.log" 2>&1 &
      pids+=($!)
      remote_settings "$dir" "$port" ;;
    silent)
      silent_peer "$port" > "$dir/peer.log" 2>&1 &
      pids+=($!)
      remote_settings "$dir" "$port" ;;
    lookup)
      printf 'nameserver 127.0.0.1\n' > "$dir/resolv.conf"
      remote_settings "$dir" 1883 broker.site.lan
      env+=(VNK_DEMO_REMOTE_APPLY=5 VNK_TRACE=estop-samples,remote)
      # The station's pid stays the one waited for: unshare and sh exec into it.
      wrap=(unshare -n -m sh -c 'ip link set lo up && mount --bind "$0" /etc/resolv.conf &&
        { python3 -c "$1" & } && sleep 0.3 && shift && exec "$@"' "$dir/resolv.conf" "$silent_dns") ;;
  esac
  "$build/bin/vnk-sim" --ports-dir "$dir/ports" --pumps 24 --speed all=1000 > "$dir/sim.log" 2>&1 &
  local sim=$!
  pids+=("$sim")
  sleep 0.5
  env "${env[@]}" "${wrap[@]}" "$build/bin/vnk-station-demo" > "$dir/station.log" 2>&1 &
  local st=$!
  pids+=("$st")
  sleep 55
  kill -TERM "$st"; wait "$st" || true
  kill -TERM "$sim"; wait "$sim" || true
  local moved
  moved=$(ls "$dir/archive" | wc -l)
  python3 - "$name" "$dir/station.log" "$moved" <<'PY'
import re, sys
name, log, moved = sys.argv[1], sys.argv[2], sys.argv[3]
samples, event, applied = [], None, []
for line in open(log, errors="replace"):
    m = re.match(r"vnk estop-samples: sample at ([0-9.]+) ms", line)
    if m:
        samples.append(float(m.group(1)))
    m = re.match(r"demo: remote settings applied at ([0-9.]+) ms", line)
    if m:
        applied.append(float(m.group(1)))
    m = re.match(r"demo: recording stopped at ([0-9.]+) ms", line)
    if m:
        event = float(m.group(1))
gaps = [(b - a, b) for a, b in zip(samples, samples[1:]) if a >= 25000]
if not gaps:
    print(f"{name}: no samples"); sys.exit(0)
g = sorted(x for x, _ in gaps)
worst, at = max(gaps)
text = (f"{name:6s}: {len(gaps)} gaps from 25 s, longest {worst:.1f} ms (at {at / 1000:.1f} s), "
        f"p99 {g[len(g) * 99 // 100]:.1f} ms, median {g[len(g) // 2]:.1f} ms")
if event is not None:
    near = [x for x, t in gaps if event <= t <= event + 15000]
    text += f"; within 15 s of the stop at {event / 1000:.1f} s: longest {max(near):.1f} ms"
if applied and any(a <= t <= a + 2000 for a in applied for _, t in gaps):
    near = [x for x, t in gaps if any(a <= t <= a + 2000 for a in applied)]
    text += f"; within 2 s of {len(applied)} Applies: longest {max(near):.1f} ms"
if name == "move":
    text += f"; {moved} files in the archive"
print(text)
PY
  if [ "$name" = flood ]; then grep -c "flood sent" "$dir/peer.log" | sed 's/^/flood: peer sent its MiB: /'; fi
}

for scenario in ${SCENARIOS:-quiet move flood}; do
  run "$scenario"
done
