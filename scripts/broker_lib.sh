# Sourced by scripts/remote.sh and scripts/demo.sh: starts the project's broker
# (broker/mosquitto.conf) with its files in a folder of the caller's.
#
#   start_remote_broker DIR
#
# picks free ports (REMOTE_PORT and REMOTE_WEB_PORT choose them), asks for loopback, serves
# the remote page from web/, and sets REMOTE_MQTT_PORT, REMOTE_WEB_PORT and REMOTE_BROKER_PID.
# Returns 1, with the broker's log on stderr, when it does not take connections within 5 s.
# Then it checks where each listener really is and says so on stderr when that is wider than
# asked: Debian 12's mosquitto (2.0.11) binds the page's WebSockets listener to every
# interface whatever address its line names.
# REMOTE_LISTEN=0.0.0.0 opens the page's listener to the network: browsers there may only
# read. The stations' listener stays on loopback unless REMOTE_MQTT_LISTEN opens it too;
# anyone who reaches that one may publish, so give it accounts first (docs/mqtt.md).

_broker_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

_free_port() {
  python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}

start_remote_broker() {
  local dir=$1
  local web_bind=${REMOTE_LISTEN:-127.0.0.1}
  local mqtt_bind=${REMOTE_MQTT_LISTEN:-127.0.0.1}
  local broker
  broker=$(command -v mosquitto || echo /usr/sbin/mosquitto)
  REMOTE_MQTT_PORT=${REMOTE_PORT:-$(_free_port)}
  REMOTE_WEB_PORT=${REMOTE_WEB_PORT:-$(_free_port)}
  mkdir -p "$dir"
  cp "$_broker_root/broker/web-viewer.acl" "$dir/web-viewer.acl"
  sed -e "s|@MQTT_PORT@|$REMOTE_MQTT_PORT|" -e "s|@WEB_PORT@|$REMOTE_WEB_PORT|" \
      -e "s|@MQTT_BIND@|$mqtt_bind|" -e "s|@WEB_BIND@|$web_bind|" -e "s|@DIR@|$dir|" \
      -e "s|@ACL_DIR@|$dir|" -e "s|@WEB_DIR@|$_broker_root/web|" \
      "$_broker_root/broker/mosquitto.conf" > "$dir/mosquitto.conf"
  # As root the broker would turn into the "mosquitto" user, who may not write here.
  [ "$(id -u)" = 0 ] && echo "user root" >> "$dir/mosquitto.conf"
  : > "$dir/broker.log"
  "$broker" -c "$dir/mosquitto.conf" >> "$dir/broker.log" 2>&1 &
  REMOTE_BROKER_PID=$!
  local _
  for _ in $(seq 50); do
    if (exec 3<>"/dev/tcp/127.0.0.1/$REMOTE_WEB_PORT") 2>/dev/null &&
       (exec 3<>"/dev/tcp/127.0.0.1/$REMOTE_MQTT_PORT") 2>/dev/null; then
      check_broker_bind "$REMOTE_MQTT_PORT" "$mqtt_bind" "the stations' MQTT" \
        "can publish under any station's topics" || true
      check_broker_bind "$REMOTE_WEB_PORT" "$web_bind" "the remote page's" \
        "can open the page and read every station (nobody can write there)" || true
      return 0
    fi
    kill -0 "$REMOTE_BROKER_PID" 2>/dev/null || break
    sleep 0.1
  done
  echo "mosquitto did not start; its log ($dir/broker.log):" >&2
  cat "$dir/broker.log" >&2
  return 1
}

# The address a browser on another computer uses: this machine's first address when the
# page's listener is open to the network, else loopback.
remote_page_host() {
  if [ "${REMOTE_LISTEN:-127.0.0.1}" = 127.0.0.1 ]; then
    echo 127.0.0.1
  else
    hostname -I 2>/dev/null | awk '{print $1}' | grep . || hostname
  fi
}

# The addresses a TCP port is listened on, one a line ("127.0.0.1", "0.0.0.0", "::"), as
# ss reads them from the kernel ("*", a socket of both families on every interface, is "::").
listen_addresses() {
  ss -Hltn "sport = :$1" | awk '{ a = $4; sub(/:[0-9]+$/, "", a); gsub(/[][]/, "", a)
                                  print (a == "*" ? "::" : a) }'
}

# check_broker_bind PORT ASKED WHAT WHO: says plainly on stderr, and returns 1, when PORT is
# listened on wider than the address ASKED (every interface instead of loopback); WHO is what
# a computer that reaches it can then do.
check_broker_bind() {
  local port=$1 asked=$2 what=$3 who=$4 address addresses wide=""
  case $asked in 0.0.0.0 | :: | '*') return 0 ;; esac
  addresses=$(listen_addresses "$port" 2>/dev/null)
  if [ -z "$addresses" ]; then
    echo "WARNING: cannot see where $what listener (port $port) listens (ss, of iproute2," \
         "answered nothing): it may be open to every interface." >&2
    return 1
  fi
  for address in $addresses; do
    case $address in
      "$asked") ;;
      0.0.0.0 | ::) wide="$wide every interface ($address)" ;;
      127.* | ::1) case $asked in 127.* | localhost | ::1) ;; *) wide="$wide $address" ;; esac ;;
      *) wide="$wide $address" ;;
    esac
  done
  [ -z "$wide" ] && return 0
  fmt -w 92 >&2 <<TEXT
WARNING: $what listener (port $port) is open on$wide, not only on $asked as asked
(Debian 12's mosquitto binds a WebSockets listener to every interface whatever address its
line names). Any computer that reaches this one on port $port $who.
Where that must not be, close port $port in the firewall.
TEXT
  return 1
}
