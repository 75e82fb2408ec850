#!/usr/bin/env bash
# Back on line after a start: from the exec of vnk-station (Release, offscreen) to the first
# packet every one of 24 pumps takes in (vnk-sim's command log, its t= placed on the wall
# clock by its "# start wall=" line) and to the first read of the E-stop input (an inotify
# watch on the regular file that stands for the parallel port's status byte), for a clean
# start (the last run ended with its shut-down: the splash's waits come first) and for a
# resume (the last run killed with -9 and the station started again at once).
#
#   bash bench/restart.sh [BUILD]        default build/release
#
# RUNS: pairs of a clean start and a resume (default 5). Each pair: a start after a clean end,
# SETTLE seconds (default 3) of the fleet polled, kill -9, the restart at once, SETTLE
# seconds, SIGTERM. Prints median and max of each figure per kind of start.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/release}
for p in vnk-station vnk-sim; do
  [ -x "$build/bin/$p" ] || { echo "no $build/bin/$p" >&2; exit 2; }
done
work=$(mktemp -d /tmp/vnk_restart.XXXXXX)
trap 'rm -rf "$work"' EXIT
source scripts/fleet_cfg.sh
mkdir -p "$work/home/cfg" "$work/ports"
printf '\x10' > "$work/parport"
write_fleet_cfg "$work/home/cfg/vnk.cfg"

BUILD="$build" WORK="$work" RUNS="${RUNS:-5}" SETTLE="${SETTLE:-3}" python3 - <<'EOF'
import ctypes, os, re, signal, statistics, subprocess, sys, time

build, work = os.environ["BUILD"], os.environ["WORK"]
runs, settle = int(os.environ["RUNS"]), float(os.environ["SETTLE"])
log = os.path.join(work, "commands.log")
env = dict(os.environ, VNK_HOME=os.path.join(work, "home"),
           VNK_PORTS_DIR=os.path.join(work, "ports"),
           VNK_PARPORT=os.path.join(work, "parport"), VNK_POPUPS="auto",
           QT_QPA_PLATFORM="offscreen")
sim = subprocess.Popen([f"{build}/bin/vnk-sim", "--ports-dir", env["VNK_PORTS_DIR"],
                        "--pumps", "24", "--speed", "all=1200", "--quiet", "--log", log],
                       stdout=subprocess.DEVNULL, stderr=subprocess.STDOUT)
libc = ctypes.CDLL("libc.so.6", use_errno=True)
IN_ACCESS = 0x1
line_re = re.compile(r"^t=([0-9.]+) pump=(\d+) ")

def wait_for(cond, seconds=30.0):
    end = time.time() + seconds
    while time.time() < end:
        if cond():
            return True
        time.sleep(0.01)
    return False

try:
    if not wait_for(lambda: os.path.exists(os.path.join(work, "ports", "COM24"))
                    and os.path.exists(log)):
        sys.exit("vnk-sim did not come up")
    with open(log) as f:
        first = f.readline()
    sim_wall = float(re.match(r"# start wall=([0-9.]+)", first).group(1))
    figures = {"clean": ([], []), "resume": ([], [])}

    def start_and_measure(kind):
        """Starts the station; seconds to every pump's first packet and to the first sample."""
        watch = libc.inotify_init1(os.O_NONBLOCK)
        libc.inotify_add_watch(watch, env["VNK_PARPORT"].encode(), IN_ACCESS)
        logf = open(log)
        logf.seek(0, os.SEEK_END)
        exec_at = time.time()
        st = subprocess.Popen([f"{build}/bin/vnk-station"], env=env,
                              stdout=open(os.path.join(work, "station.log"), "a"),
                              stderr=subprocess.STDOUT)
        first_poll, sample_at, pending = {}, None, ""
        deadline = exec_at + 60.0
        while (len(first_poll) < 24 or sample_at is None) and time.time() < deadline:
            if sample_at is None:
                try:
                    if os.read(watch, 4096):
                        sample_at = time.time()
                except BlockingIOError:
                    pass
            pending += logf.read()
            *lines, pending = pending.split("\n")
            for line in lines:
                m = line_re.match(line)
                if m and int(m.group(2)) not in first_poll:
                    at = sim_wall + float(m.group(1))
                    if at >= exec_at:
                        first_poll[int(m.group(2))] = at
            time.sleep(0.002)
        os.close(watch)
        logf.close()
        if len(first_poll) < 24 or sample_at is None:
            st.kill()
            sys.exit(f"{kind}: {len(first_poll)} pumps polled, E-stop sampled: {sample_at is not None}")
        figures[kind][0].append(max(first_poll.values()) - exec_at)
        figures[kind][1].append(sample_at - exec_at)
        return st

    for run in range(runs):
        st = start_and_measure("clean")
        time.sleep(settle)
        st.send_signal(signal.SIGKILL)
        st.wait()
        st = start_and_measure("resume")
        time.sleep(settle)
        st.send_signal(signal.SIGTERM)
        if st.wait(timeout=60) != 0:
            sys.exit("the resumed station did not end cleanly")
    for kind, (polls, samples) in figures.items():
        print(f"{kind:6s} ({len(polls)} starts): every pump polled median {statistics.median(polls):.2f} s, "
              f"max {max(polls):.2f} s; E-stop sampled median {statistics.median(samples):.2f} s, "
              f"max {max(samples):.2f} s")
finally:
    sim.send_signal(signal.SIGTERM)
    sim.wait()
EOF
