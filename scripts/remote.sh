#!/usr/bin/env bash
# Starts a local mosquitto with the project's configuration (broker/mosquitto.conf): MQTT for
# the stations and, on a second port, the remote page with MQTT over WebSockets for browsers.
# Prints how to point the station at it, the page's address and how to watch from a
# terminal. Runs until Ctrl+C. REMOTE_PORT and REMOTE_WEB_PORT choose the ports;
# REMOTE_LISTEN=0.0.0.0 opens the page's port to the network (browsers may only read there).
# It asks for loopback otherwise, but Debian 12's mosquitto opens the page's port to every
# interface all the same: the script checks where each port really is and warns when wider.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

if ! command -v mosquitto >/dev/null && [ ! -x /usr/sbin/mosquitto ] ||
   [ ! -f web/vendor/mqtt.min.js ]; then
  bash scripts/deps.sh
fi
source scripts/broker_lib.sh

run="$root/remote-run"
start_remote_broker "$run"
pid=$REMOTE_BROKER_PID
trap 'kill -TERM $pid 2>/dev/null || true; wait $pid 2>/dev/null || true' EXIT INT TERM
host=$(remote_page_host)
# Where a port really listens, as an operator says it.
where() {
  local addresses
  addresses=$(listen_addresses "$1" | paste -sd ' ')
  case " $addresses " in
    *" 0.0.0.0 "* | *" :: "*) echo "every interface" ;;
    *) echo "$addresses" ;;
  esac
}

cat <<TEXT
mosquitto is listening: MQTT on port $REMOTE_MQTT_PORT ($(where "$REMOTE_MQTT_PORT")), the remote page
on port $REMOTE_WEB_PORT ($(where "$REMOTE_WEB_PORT")) (log: $run/broker.log).

Point the station at it: Setup > Remote Monitoring... (system password), tick
"Publish to a broker", Host 127.0.0.1, Port $REMOTE_MQTT_PORT, a site and a station name, Apply.

Open the remote page in a browser:
  http://$host:$REMOTE_WEB_PORT/

Watch everything the stations publish from a terminal:
  mosquitto_sub -h 127.0.0.1 -p $REMOTE_MQTT_PORT -t 'vnk/#' -v

Ctrl+C stops the broker.
TEXT
wait $pid
