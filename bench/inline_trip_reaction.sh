#!/usr/bin/env bash
# Inline trip reaction and reply latency on the blender link. vnk-station (Release,
# offscreen) with 24 pumps of vnk-sim over pseudo-terminals; the blender computer is played
# here by a small peer that sends "5000.0" every 0.1 s and, TRIALS times (default 50), one
# "9000.0" above the 6000 psi inline trip value.
#   reaction  from the write of the over-trip message to the idle speed command on the last
#             of the 24 polled ports, as vnk-sim's command log has them
#   latency   from the write of a message to the last byte of its 292-byte reply
# vnk-sim's log clock is tied to the peer's by the lower envelope of (peer's clock on reading
# a log line - the line's time): lines are read within milliseconds of being written, so the
# smallest difference is the clocks' offset to well under a millisecond.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/release}
trials=${TRIALS:-50}
dir=$(mktemp -d /tmp/vnk_inline.XXXXXX)
st=
sim=
trap 'kill -TERM $st $sim 2>/dev/null || true; wait 2>/dev/null || true; rm -rf "$dir"' EXIT
mkdir -p "$dir/home/cfg" "$dir/ports"
printf '\x10' > "$dir/parport"
source scripts/fleet_cfg.sh
write_fleet_cfg "$dir/home/cfg/vnk.cfg"
printf '127.0.0.1' | dd of="$dir/home/cfg/vnk.cfg" bs=1 seek=45 conv=notrunc status=none
# The inline trip on at 6000 psi (stored as psi x 10000).
printf 'Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Qorv\\VNKPC]\r\n"Inline OP Trip"=dword:00000001\r\n"Inline OP Value"=dword:%08x\r\n' \
  60000000 > "$dir/home/cfg/registry.reg"

"$build/bin/vnk-sim" --ports-dir "$dir/ports" --pumps 24 --speed all=1200 --quiet \
  --log "$dir/commands.log" > "$dir/sim.log" 2>&1 &
sim=$!

python3 - "$dir" "$trials" > "$dir/peer.out" 2>&1 <<'PY' &
import os, random, re, select, socket, statistics, sys, time
d, trials = sys.argv[1], int(sys.argv[2])
srv = socket.socket()
srv.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
srv.bind(("127.0.0.1", 0))
srv.listen(1)
with open(f"{d}/port.tmp", "w") as f: f.write(str(srv.getsockname()[1]))
os.rename(f"{d}/port.tmp", f"{d}/port")
srv.settimeout(60)
conn, _ = srv.accept()
conn.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
conn.setblocking(False)

speed = re.compile(r"^t=([0-9.]+) pump=(\d+) type=3 code=0x1a ")
log = open(f"{d}/commands.log")
pending = ""
offset = float("inf")          # peer clock - vnk-sim clock
idles = []                     # (vnk-sim time, pump)
pumps_seen = set()
def read_log():
    global pending, offset
    chunk = log.read()
    now = time.monotonic()
    if not chunk: return
    pending += chunk
    lines = pending.split("\n")
    pending = lines.pop()
    for l in lines:
        if not l.startswith("t="): continue
        t = float(l[2:l.index(" ")])
        offset = min(offset, now - t)
        pumps_seen.add(l.split(" ")[1])
        m = speed.match(l)
        if m: idles.append((float(m.group(1)), int(m.group(2))))

sent = []                      # write times of the messages, in order
got = 0                        # reply bytes received
latencies = []
answered = set()               # messages whose reply has come
extra = 0                      # blocks beyond one per message
# A block belongs to the newest message written before it was complete: a reply takes
# milliseconds and messages are 0.1 s apart. (During the station's start-up reads can run
# together, so counting blocks against messages would drift.)
def send(text):
    sent.append(time.monotonic())
    conn.sendall(text.encode())
def pump_io(until):
    global got, extra
    while True:
        left = until - time.monotonic()
        if left <= 0: return
        r, _, _ = select.select([conn], [], [], min(left, 0.002))
        if r:
            data = conn.recv(65536)
            if not data: sys.exit("the station closed the connection")
            before = got // 292
            got += len(data)
            now = time.monotonic()
            for _ in range(before, got // 292):
                if sent and len(sent) - 1 not in answered:
                    answered.add(len(sent) - 1)
                    latencies.append(now - sent[-1])
                else:
                    extra += 1
        read_log()

# Until every pump answers the station, then a settling time (messages are answered throughout).
t = time.monotonic()
while len(pumps_seen) < 24 or time.monotonic() - t < 5:
    send("5000.0"); pump_io(time.monotonic() + 0.1)
pump_io(time.monotonic() + 0.5)
latencies.clear(); answered.clear(); sent.clear(); extra = 0
writes = []
rng = random.Random(1)
for i in range(trials):
    for _ in range(3): send("5000.0"); pump_io(time.monotonic() + 0.1)
    pump_io(time.monotonic() + rng.uniform(0.0, 0.1))  # any phase of the poll cycle
    send("9000.0"); writes.append(sent[-1])
    pump_io(time.monotonic() + 0.1)
    for _ in range(13): send("5000.0"); pump_io(time.monotonic() + 0.1)  # the three rounds
pump_io(time.monotonic() + 0.3)

idles.sort()
slowest = []
for w in writes:
    ws = w - offset
    first = {}
    for t, p in idles:
        if t >= ws - 0.0005 and p not in first: first[p] = t
    if len(first) < 24: sys.exit(f"a trial reached only {len(first)} pumps")
    slowest.append(max(first.values()) - ws)
def p99(v):
    v = sorted(v); return v[min(len(v) - 1, int(round(0.99 * (len(v) - 1))))]
print(f"inline trip reaction over {len(slowest)} trials, every pump idled: "
      f"median {statistics.median(slowest)*1000:.1f} ms, p99 {p99(slowest)*1000:.1f} ms, "
      f"max {max(slowest)*1000:.1f} ms")
if len(latencies) != len(sent) or extra or got % 292:
    sys.exit(f"{len(sent)} messages, {len(latencies)} answered, {extra} extra blocks, {got} bytes")
print(f"reply latency over {len(latencies)} messages (292 bytes each, {got} bytes in all): "
      f"median {statistics.median(latencies)*1000:.2f} ms, p99 {p99(latencies)*1000:.2f} ms, "
      f"max {max(latencies)*1000:.2f} ms")
PY
peer=$!
for _ in $(seq 100); do [ -f "$dir/port" ] && break; sleep 0.1; done
VNK_HOME="$dir/home" VNK_PORTS_DIR="$dir/ports" VNK_PARPORT="$dir/parport" VNK_POPUPS=auto \
  VNK_BLENDER_PORT="$(cat "$dir/port")" QT_QPA_PLATFORM=offscreen \
  "$build/bin/vnk-station" > "$dir/station.log" 2>&1 &
st=$!
status=0
wait $peer || status=$?
cat "$dir/peer.out"
exit $status
