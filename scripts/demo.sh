#!/usr/bin/env bash
# The demo: vnk-sim with 24 pumps (varied speeds, pump 4 drive off, pump 5 tripped, pump 11
# silent) and vnk-station against it, in a folder of its own (demo-run/). With a display the station
# opens its windows and runs until you exit it; without one it runs offscreen for
# DEMO_SECONDS (default 60) and saves a PNG of every visible window every few seconds.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

bash scripts/deps.sh
build=${VNK_DEMO_BUILD:-build/release}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j "$(nproc 2>/dev/null || echo 2)" --target vnk-station vnk-sim

run="$root/demo-run"
rm -rf "$run"
mkdir -p "$run/home/cfg" "$run/ports" "$run/screenshots"

# vnk.cfg: pumps 1-24 on COM1-COM24, US units, 1 s refresh, steps 100/25, all pumps shown.
cfg="$run/home/cfg/vnk.cfg"
head -c 906 /dev/zero > "$cfg"
poke() { printf "$2" | dd of="$cfg" bs=1 seek="$1" conv=notrunc status=none; }
for i in $(seq 0 23); do poke "$i" "$(printf '\\x%02x' $((i + 1)))"; done
poke 25 '\x00\x00\x00\x00\x00\x00\xf0\x3f'   # refresh 1.0 s
poke 33 '\x71\x01\x00\x00\x1b\x00\x00\x00'   # 369, 27
for i in $(seq 0 24); do
  poke $((301 + 4 * i)) '\x64\x00\x00\x00'   # large step 100
  poke $((401 + 4 * i)) '\x19\x00\x00\x00'   # small step 25
done
poke 501 '\xfc\xa9\xf1\xd2\x4d\x62\x50\x3f'  # port time-out 0.001 s
poke 517 '\x18'                              # 24 pumps shown
for i in $(seq 0 23); do poke $((518 + i)) '\xff'; done
poke 902 '\x01\x00'                          # groups valid
printf '\x10' > "$run/parport"               # the emergency-stop loop is closed

sim="$root/$build/bin/vnk-sim"
station="$root/$build/bin/vnk-station"
"$sim" --ports-dir "$run/ports" --pumps 24 --quiet \
  --speed 1-8=620 --speed 9-16=680 --speed 17-24=720 --drive-on 1-3,5-24 \
  --trip 5 --fail 11=silent > "$run/sim.log" 2>&1 &
sim_pid=$!
trap 'kill -TERM $sim_pid 2>/dev/null; wait $sim_pid 2>/dev/null || true' EXIT
sleep 0.5

export VNK_HOME="$run/home" VNK_PORTS_DIR="$run/ports" VNK_PARPORT="$run/parport"
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && [ -z "${DEMO_OFFSCREEN:-}" ]; then
  echo "vnk-station is starting on your display (simulated fleet in $run)."
  "$station"
else
  seconds=${DEMO_SECONDS:-60}
  cat > "$run/screen.json" <<JSON
{ "screens": [ { "name": "touch", "x": 0, "y": 0, "width": 1024, "height": 768,
                 "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1 } ] }
JSON
  echo "No display: vnk-station runs offscreen for $seconds s."
  echo "Screenshots of every visible window, every 5 s: $run/screenshots"
  QT_QPA_PLATFORM="offscreen:configfile=$run/screen.json" VNK_POPUPS=auto \
    VNK_SCREENSHOT_DIR="$run/screenshots" VNK_SCREENSHOT_INTERVAL=5 VNK_DEMO_DETAIL=1 \
    "$station" > "$run/station.log" 2>&1 &
  station_pid=$!
  sleep "$seconds"
  kill -TERM "$station_pid"
  wait "$station_pid" || true
  echo "Done. Screenshots: $run/screenshots"
  ls "$run/screenshots"
fi
