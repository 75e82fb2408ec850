#!/usr/bin/env bash
# The Debian package on a fresh Debian 12: builds it (scripts/package.sh), makes a bookworm
# root with debootstrap in build/package-check/root, installs man-db, systemd (a van's
# Debian has it; the minimal root does not) and the package there with apt-get (dependencies
# from Debian), checks that the systemd user service and its
# autostart entry are installed and that the unit passes `systemd-analyze verify`, then, as
# operators in groups vnk, dialout and lp: `vnk-station --version`, `man vnk-station`, and
# vnk-station offscreen for 10 s against
# vnk-sim, ended by SIGTERM; it must exit 0 with the simulated pumps on line and leave
# vnk.cfg, the settings store and the journal in /var/lib/vnk-pc, usable by a second
# operator's station (10 s more). Prints PASS or FAIL for
# each check and a summary last; the whole output is kept in build/package-check/output.log.
# Needs root (debootstrap, chroot, mounts) and a Debian mirror: the one this machine's apt
# sources name (scripts/apt_mirror.sh), or VNK_DEBIAN_MIRROR and VNK_DEBIAN_SECURITY. Takes a
# few minutes: not part of the CI run.
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$(pwd)
work=$repo/build/package-check
root=$work/root
mirror=${VNK_DEBIAN_MIRROR:-}
security=${VNK_DEBIAN_SECURITY:-}
if [ -z "$mirror" ]; then
  { read -r mirror; read -r found_security; } < <(bash scripts/apt_mirror.sh bookworm) || exit 2
  [ -n "$mirror" ] || exit 2
  security=${security:-$found_security}
fi
mkdir -p "$work"
exec > >(tee "$work/output.log") 2>&1

if [ "$(id -u)" -ne 0 ]; then
  echo "package-check: needs root (debootstrap, chroot, mounts)" >&2
  exit 2
fi

results=()
failed=0
check() {  # check NAME COMMAND...: records PASS or FAIL
  local name=$1
  shift
  if "$@"; then
    results+=("PASS  $name")
    echo "PASS  $name"
  else
    results+=("FAIL  $name")
    echo "FAIL  $name"
    failed=$((failed + 1))
  fi
}
summary() {
  echo
  echo "==== package-check summary"
  local r
  for r in "${results[@]}"; do echo "$r"; done
  if [ "$failed" -eq 0 ] && [ ${#results[@]} -gt 0 ]; then
    echo "package-check: PASS (${#results[@]} checks)"
  else
    echo "package-check: FAIL ($failed of ${#results[@]} checks failed)"
  fi
}

# Everything mounted in the root is unmounted however the script ends, and nothing of it
# is deleted while mounted (rm --one-file-system would stop at a mount point anyway).
unmount_all() {
  local m
  for m in dev/pts dev proc sys; do
    if mountpoint -q "$root/$m" 2>/dev/null; then
      umount "$root/$m" 2>/dev/null || umount -l "$root/$m" || true
    fi
  done
}
finish() {
  local rc=$?
  # Processes an operator left in the root (a station or simulator a failed step did not
  # end) would hold the mounts.
  if [ -d "$root/proc" ]; then
    local pid
    for pid in $(ls /proc | grep -E '^[0-9]+$'); do
      [ "$(readlink "/proc/$pid/root" 2>/dev/null)" = "$root" ] && kill -KILL "$pid" 2>/dev/null || true
    done
  fi
  unmount_all
  summary
  [ "$failed" -eq 0 ] && [ "$rc" -eq 0 ] || exit 1
}
trap finish EXIT

step() { echo; echo "==== $*"; }

step "host tools"
bash scripts/deps.sh debootstrap

step "the package"
bash scripts/package.sh | tee "$work/package.log"
deb=$(tail -n 1 "$work/package.log")
check "package built: $(basename "$deb")" test -f "$deb"
version=$(dpkg-deb -f "$deb" Version)
upstream=${version%-*}

step "a fresh Debian 12 root"
unmount_all
rm -rf --one-file-system "$root"
mkdir -p "$work/cache"
debootstrap --variant=minbase --cache-dir="$work/cache" bookworm "$root" "$mirror" >"$work/debootstrap.log" 2>&1 \
  || { tail -n 20 "$work/debootstrap.log"; exit 1; }
cat > "$root/etc/apt/sources.list" <<SOURCES
deb $mirror bookworm main
deb $mirror bookworm-updates main
SOURCES
[ -n "$security" ] && echo "deb $security bookworm-security main" >> "$root/etc/apt/sources.list"
# No service starts inside the root.
printf '#!/bin/sh\nexit 101\n' > "$root/usr/sbin/policy-rc.d"
chmod 755 "$root/usr/sbin/policy-rc.d"
cp /etc/resolv.conf "$root/etc/resolv.conf"
mount -t proc proc "$root/proc"
mount --bind /dev "$root/dev"
mount --bind /dev/pts "$root/dev/pts"
mount -t sysfs sysfs "$root/sys"
in_root() { chroot "$root" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin LANG=C.UTF-8 "$@"; }

step "apt-get install man-db systemd ./$(basename "$deb")"
cp "$deb" "$root/tmp/"
in_root apt-get update -qq
check "apt-get install man-db, systemd and the package" \
  in_root sh -c "cd /tmp && DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends man-db systemd ./$(basename "$deb")"
in_root dpkg -s vnk-pc | grep -E '^(Version|Depends|Recommends):'
check "group vnk exists" in_root getent group vnk
# Owners and groups are read inside the root: its names are not the host's.
owner_mode() { in_root stat -c '%U:%G %a' "$@"; }
check "/var/lib/vnk-pc is root:vnk 2770" test "$(owner_mode /var/lib/vnk-pc)" = "root:vnk 2770"
etc_files=$(in_root dpkg -L vnk-pc | grep '^/etc' || true)
check "the package adds nothing to /etc" test -z "$etc_files"

step "the systemd user service"
check "the unit /usr/lib/systemd/user/vnk-station.service is installed" \
  test -s "$root/usr/lib/systemd/user/vnk-station.service"
check "the autostart entry /usr/share/vnk-pc/vnk-station-autostart.desktop is installed" \
  test -s "$root/usr/share/vnk-pc/vnk-station-autostart.desktop"
# As an operator would run it, with a runtime folder of its own; a warning is a failure too.
verify_out=$(in_root sh -c 'd=$(mktemp -d) && XDG_RUNTIME_DIR=$d systemd-analyze --user verify \
  /usr/lib/systemd/user/vnk-station.service 2>&1; rc=$?; rm -rf "$d"; exit $rc') &&
  verify_rc=0 || verify_rc=$?
echo "$verify_out"
check "systemd-analyze verify passes on the installed unit" \
  test "$verify_rc" -eq 0 -a -z "$verify_out"

step "operators"
for user in op1 op2; do
  in_root useradd -m -s /bin/bash -G vnk,dialout,lp "$user"
done
as_op() { local user=$1; shift; in_root runuser -u "$user" -- "$@"; }

step "vnk-station --version"
out=$(as_op op1 vnk-station --version) || true
echo "$out"
check "vnk-station --version prints 'vnk-station $upstream'" test "$out" = "vnk-station $upstream"

step "man vnk-station"
man_out=$(as_op op1 env MANWIDTH=80 man -P cat vnk-station 2>&1 | head -n 12) || true
echo "$man_out"
check "man vnk-station shows the page" grep -q "vnk-station - operator station" <<<"$man_out"

step "vnk-station against vnk-sim, offscreen, ended by SIGTERM"
cp scripts/fleet_cfg.sh "$root/tmp/fleet_cfg.sh"
cat > "$root/tmp/run-station.sh" <<'RUN'
#!/bin/bash
# run-station.sh SECONDS: vnk-sim with 24 pumps and vnk-station (no VNK_HOME: the
# installed folder) against it for SECONDS, then SIGTERM. Prints the station's status last.
set -u
seconds=$1
umask 007   # vnk.cfg made as the station makes its files in a shared folder
run=$(mktemp -d /tmp/vnk-run.XXXXXX)
mkdir -p "$run/ports"
printf '\x10' > "$run/parport"   # the emergency-stop loop is closed
if [ ! -e /var/lib/vnk-pc/cfg/vnk.cfg ]; then
  mkdir -p /var/lib/vnk-pc/cfg
  source /tmp/fleet_cfg.sh
  write_fleet_cfg /var/lib/vnk-pc/cfg/vnk.cfg   # pumps 1-24 on COM1-COM24
fi
vnk-sim --ports-dir "$run/ports" --pumps 24 --quiet > "$run/sim.log" 2>&1 &
sim=$!
for _ in $(seq 100); do [ -e "$run/ports/COM24" ] && break; sleep 0.1; done
QT_QPA_PLATFORM=offscreen VNK_PORTS_DIR="$run/ports" VNK_PARPORT="$run/parport" VNK_POPUPS=auto \
  vnk-station > "$run/station.log" 2>&1 &
station=$!
sleep "$seconds"
kill -TERM "$station"
wait "$station"
rc=$?
kill -TERM "$sim"
wait "$sim"
echo "--- station output (last lines)"
tail -n 15 "$run/station.log"
echo "--- station exit status: $rc"
RUN
chmod 755 "$root/tmp/run-station.sh"
run_out=$(as_op op1 /tmp/run-station.sh 10 2>&1) || true
echo "$run_out"
check "vnk-station exits 0 after SIGTERM" grep -q '^--- station exit status: 0$' <<<"$run_out"
home=$root/var/lib/vnk-pc
in_root ls -lR /var/lib/vnk-pc
check "vnk.cfg in /var/lib/vnk-pc/cfg" test -s "$home/cfg/vnk.cfg"
check "settings store /var/lib/vnk-pc/cfg/registry.reg" \
  grep -q "Windows Registry Editor Version 5.00" "$home/cfg/registry.reg"
check "journal /var/lib/vnk-pc/journal/journal.db with this version's start-up" \
  sh -c "cat '$home/journal/journal.db' '$home/journal/journal.db-wal' 2>/dev/null | grep -aq 'Start-up, version $upstream'"
journal_count() {  # occurrences of a text in the journal (its file and any log left)
  { cat "$home/journal/journal.db" "$home/journal/journal.db-wal" 2>/dev/null || true; } \
    | grep -ao "$1" | wc -l
}
on_line=$(journal_count "On line")
check "the station had the simulated pumps on line ($on_line journalled, 24 pumps)" test "$on_line" -ge 24
check "settings store and journal shared with group vnk (0660)" \
  test "$(owner_mode /var/lib/vnk-pc/cfg/registry.reg /var/lib/vnk-pc/journal/journal.db)" \
    = "$(printf 'op1:vnk 660\nop1:vnk 660')"

step "a second operator's station on the same folder"
run_out=$(as_op op2 /tmp/run-station.sh 10 2>&1) || true
echo "$run_out"
check "op2's vnk-station exits 0" grep -q '^--- station exit status: 0$' <<<"$run_out"
no_refusal() { ! grep -Eiq 'cannot be written|cannot lock|cannot be kept|readonly|permission denied' <<<"$1"; }
check "op2's station was refused no file" no_refusal "$run_out"
# The station saves vnk.cfg at its end: op2's replaces the one op1's station left.
check "op2's station replaced vnk.cfg" test "$(owner_mode /var/lib/vnk-pc/cfg/vnk.cfg)" = "op2:vnk 660"
starts=$(journal_count "Start-up, version $upstream")
on_line=$(journal_count "On line")
check "the journal holds both operators' start-ups ($starts) and pumps on line ($on_line)" \
  test "$starts" -eq 2 -a "$on_line" -ge 48
