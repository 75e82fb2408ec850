#!/usr/bin/env bash
# Every program answers --version and --help with no display and no Qt platform chosen:
# status 0, "<program> <version>" alone on stdout, a help text that names both options.
# Usage: program_info.sh VERSION PROGRAM...
set -u
version=$1
shift
failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}
for exe in "$@"; do
  name=$(basename "$exe")
  out=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$exe" --version 2>/dev/null)
  rc=$?
  [ "$rc" -eq 0 ] || fail "$name --version exited $rc"
  [ "$out" = "$name $version" ] || fail "$name --version printed '$out', not '$name $version'"

  out=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$exe" --help 2>/dev/null)
  rc=$?
  [ "$rc" -eq 0 ] || fail "$name --help exited $rc"
  grep -qi "^usage: $name" <<<"$out" || fail "$name --help has no usage line"
  for option in --help --version; do
    grep -q -- "$option" <<<"$out" || fail "$name --help does not name $option"
  done
done
echo "$# programs checked, $failures failures"
[ "$failures" -eq 0 ]
