#!/usr/bin/env bash
# Starts a local mosquitto with the project's configuration (broker/mosquitto.conf) on a free
# loopback port and prints how to point the station at it and how to watch what it
# publishes. Runs until Ctrl+C. REMOTE_PORT chooses the port.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

if ! command -v mosquitto >/dev/null && [ ! -x /usr/sbin/mosquitto ]; then
  bash scripts/deps.sh
fi
broker=$(command -v mosquitto || echo /usr/sbin/mosquitto)

free_port() {
  python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}
port=${REMOTE_PORT:-$(free_port)}
run="$root/remote-run"
mkdir -p "$run"
sed -e "s|@MQTT_PORT@|$port|" -e "s|@DIR@|$run|" broker/mosquitto.conf > "$run/mosquitto.conf"
# As root the broker would turn into the "mosquitto" user, who may not write here.
[ "$(id -u)" = 0 ] && echo "user root" >> "$run/mosquitto.conf"

"$broker" -c "$run/mosquitto.conf" &
pid=$!
trap 'kill -TERM $pid 2>/dev/null || true; wait $pid 2>/dev/null || true' EXIT INT TERM
for _ in $(seq 50); do
  (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null && break
  sleep 0.1
done

cat <<TEXT
mosquitto is listening on 127.0.0.1:$port (log: $run/broker.log).

Point the station at it: Setup > Remote Monitoring... (system password), tick
"Publish to a broker", Host 127.0.0.1, Port $port, a site and a station name, Apply.

Watch everything the stations publish:
  mosquitto_sub -h 127.0.0.1 -p $port -t 'vnk/#' -v

Ctrl+C stops the broker.
TEXT
wait $pid
