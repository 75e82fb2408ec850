#!/usr/bin/env bash
# The demo: vnk-sim with 24 pumps (varied speeds, pump 4 drive off, pump 5 tripped, pump 11
# silent) and vnk-station-demo (the station with the VNK_DEMO_* drivers, which act as an
# operator would) against it, in a folder of its own (demo-run/). With a display the station
# opens its windows and runs until you exit it; without one it runs offscreen for
# DEMO_SECONDS (default 60) and saves a PNG of every visible window every few seconds.
# Pumps 17-24 are on automatic control: 20 s after start the station holds the fleet's rate
# at DEMO_AUTO_RATE bbl/min (default 85) by speeding them up, as the window and the bank
# windows' "Target BPM" read-out show. DEMO_STATION_ARGS passes switches ("/admin").
# When mosquitto is installed the demo also starts the project's broker, the station
# publishes to it, and the remote page's address is printed (open it in a browser).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

bash scripts/deps.sh
build=${VNK_DEMO_BUILD:-build/release}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j "$(nproc 2>/dev/null || echo 2)" --target vnk-station-demo vnk-sim vnk-blender

run="$root/demo-run"
rm -rf "$run"
mkdir -p "$run/home/cfg" "$run/ports" "$run/screenshots"

# vnk.cfg: pumps 1-24 on COM1-COM24.
source scripts/fleet_cfg.sh
write_fleet_cfg "$run/home/cfg/vnk.cfg"
# The blender computer is vnk-blender on this machine.
printf '127.0.0.1' | dd of="$run/home/cfg/vnk.cfg" bs=1 seek=45 conv=notrunc status=none
printf '\x10' > "$run/parport"               # the emergency-stop loop is closed
# Pumps 17-24 have their "Auto" box ticked (the record's AutoSelected bytes, 542 + pump).
for i in $(seq 16 23); do
  printf '\x01' | dd of="$run/home/cfg/vnk.cfg" bs=1 seek=$((542 + i)) conv=notrunc status=none
done
# The automatic controller: VNK_DEMO_AUTO makes the demo station do, 20 s after start, what an
# operator would: open "Auto Control...", choose Hold Rate, enter the target (bbl/min) and a
# pressure limit, Apply. The bank windows then show "Target BPM :", the window the gauges.
demo_auto=${DEMO_AUTO_RATE:-85}

sim="$root/$build/bin/vnk-sim"
station="$root/$build/bin/vnk-station-demo"
"$sim" --ports-dir "$run/ports" --pumps 24 --quiet \
  --speed 1-8=620 --speed 9-16=680 --speed 17-24=720 --drive-on 1-3,5-24 \
  --trip 5 --fail 11=silent --state "$run/fleet.state" > "$run/sim.log" 2>&1 &
sim_pid=$!
# The blender computer: sends the fleet's average discharge as the treating pressure every
# second and checks every reply (its summary is in demo-run/blender.log).
port=${VNK_BLENDER_PORT:-9017}
"$root/$build/bin/vnk-blender" --port "$port" --state "$run/fleet.state" --quiet \
  > "$run/blender.log" 2>&1 &
blender_pid=$!
# The project's broker and the remote page, when mosquitto is there: the station publishes
# the fleet as site "demo", station "van1".
broker_pid=""
if command -v mosquitto >/dev/null || [ -x /usr/sbin/mosquitto ]; then
  source scripts/broker_lib.sh
  if start_remote_broker "$run/broker"; then
    broker_pid=$REMOTE_BROKER_PID
    printf 'Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Qorv\\VNKPC]\r\n"Remote Enabled"=dword:00000001\r\n"Remote Host"="127.0.0.1"\r\n"Remote Port"=dword:%08x\r\n"Remote Site"="demo"\r\n"Remote Station"="van1"\r\n' \
      "$REMOTE_MQTT_PORT" > "$run/home/cfg/registry.reg"
    echo "Remote page (the fleet live in a browser): http://$(remote_page_host):$REMOTE_WEB_PORT/"
  fi
fi
trap 'kill -TERM $sim_pid $blender_pid $broker_pid 2>/dev/null; wait $sim_pid $blender_pid $broker_pid 2>/dev/null || true' EXIT
sleep 0.5

export VNK_HOME="$run/home" VNK_PORTS_DIR="$run/ports" VNK_PARPORT="$run/parport" VNK_BLENDER_PORT="$port"
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && [ -z "${DEMO_OFFSCREEN:-}" ]; then
  echo "vnk-station-demo is starting on your display (simulated fleet in $run)."
  VNK_DEMO_AUTO="$demo_auto" "$station" ${DEMO_STATION_ARGS:-}
else
  seconds=${DEMO_SECONDS:-60}
  cat > "$run/screen.json" <<JSON
{ "screens": [ { "name": "touch", "x": 0, "y": 0, "width": 1024, "height": 768,
                 "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1 } ] }
JSON
  echo "No display: vnk-station-demo runs offscreen for $seconds s."
  echo "Screenshots of every visible window, every 5 s: $run/screenshots"
  QT_QPA_PLATFORM="offscreen:configfile=$run/screen.json" VNK_POPUPS=auto \
    VNK_SCREENSHOT_DIR="$run/screenshots" VNK_SCREENSHOT_INTERVAL=5 VNK_DEMO_DETAIL=1 VNK_DEMO_CLIENT=1 VNK_DEMO_JOURNAL=30 \
    VNK_DEMO_AUTO="$demo_auto" "$station" ${DEMO_STATION_ARGS:-} > "$run/station.log" 2>&1 &
  station_pid=$!
  sleep "$seconds"
  kill -TERM "$station_pid"
  wait "$station_pid" || true
  echo "Done. Screenshots: $run/screenshots"
  ls "$run/screenshots"
fi
