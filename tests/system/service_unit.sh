#!/usr/bin/env bash
# The systemd user service an installation holds: installed with the autostart entry that
# starts it, naming the installed station, holding the keys the van relies on (the statuses
# a restart cannot mend among them, as platform/exit_status.h numbers them), and passing
# `systemd-analyze verify` with a runtime folder of its own. Skipped (77) where systemd-analyze
# is missing.
# Usage: service_unit.sh BUILD_DIR SOURCE_DIR
set -u
build=$1
source=$2
if ! command -v systemd-analyze >/dev/null; then
  echo "SKIPPED: systemd-analyze is not installed (apt-get install systemd); the unit is not verified"
  exit 77
fi
prefix=$(mktemp -d)
runtime=$(mktemp -d)
trap 'rm -rf "$prefix" "$runtime"' EXIT
failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

cmake --install "$build" --prefix "$prefix" >/dev/null || fail "cmake --install failed"
unit=$prefix/lib/systemd/user/vnk-station.service
autostart=$prefix/share/vnk-pc/vnk-station-autostart.desktop
[ -s "$unit" ] || fail "lib/systemd/user/vnk-station.service is not installed"
[ -s "$autostart" ] || fail "share/vnk-pc/vnk-station-autostart.desktop is not installed"

status() { sed -n "s/^constexpr int $1 = \([0-9]*\);.*/\1/p" "$source/src/platform/exit_status.h"; }
refused=$(status kExitFolderRefused)
running=$(status kExitAlreadyRunning)
[ -n "$refused" ] && [ -n "$running" ] || fail "exit_status.h names no refusal statuses"
prevent=$(sed -n 's/^RestartPreventExitStatus=//p' "$unit")
for s in "$refused" "$running"; do
  grep -qw -- "$s" <<<"$prevent" || fail "RestartPreventExitStatus='$prevent' lacks $s"
done
for key in "Type=notify" "Restart=on-failure" "RestartSec=1" "WatchdogSec=5" \
           "TimeoutStartSec=infinity" "ExecStart=$prefix/bin/vnk-station"; do
  grep -qx -- "$key" "$unit" || fail "the unit has no line $key"
done
exec_line=$(sed -n 's/^Exec=//p' "$autostart")
for part in "systemctl --user import-environment DISPLAY XAUTHORITY" \
            "systemctl --user start vnk-station.service"; do
  grep -qF -- "$part" <<<"$exec_line" || fail "the autostart entry does not run '$part'"
done

# verify warns about a key it cannot parse without failing: any word from it is a failure.
chmod 700 "$runtime"
out=$(MANPATH="$prefix/share/man" XDG_RUNTIME_DIR="$runtime" \
      systemd-analyze --user verify "$unit" 2>&1)
rc=$?
[ "$rc" -eq 0 ] && [ -z "$out" ] || fail "systemd-analyze verify (status $rc): $out"

echo "service unit: $failures failures"
[ "$failures" -eq 0 ]
