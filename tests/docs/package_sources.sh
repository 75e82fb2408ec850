#!/usr/bin/env bash
# Where packages come from is the machine's business: no file of the tree names the address
# of a package registry or a Debian mirror (this machine's own, read from npm and apt, or any
# registry.* host), the page's lock file pins mqtt by integrity with no download address, and
# scripts/apt_mirror.sh finds the mirror in one-line and deb822 sources and says so when
# there is none.
# Usage: package_sources.sh SOURCE_DIR
set -u
src=$1
failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

hosts=()
host_of() { sed -E 's#^[a-z+]*://##; s#[/:].*##' <<<"$1"; }
if command -v npm >/dev/null; then hosts+=("$(host_of "$(npm config get registry)")"); fi
while read -r uri; do [ -n "$uri" ] && hosts+=("$(host_of "$uri")"); done \
  < <(bash "$src/scripts/apt_mirror.sh" bookworm 2>/dev/null)
patterns=(-e '://registry\.')
for h in "${hosts[@]}"; do patterns+=(-e "${h//./\\.}"); done
named=$(cd "$src" && git ls-files -z 2>/dev/null | xargs -0 grep -lIE "${patterns[@]}" 2>/dev/null)
[ -z "$named" ] || fail "registry or mirror addresses named in: $named (hosts: ${hosts[*]})"

lock=$src/web/package-lock.json
grep -q '"resolved"' "$lock" && fail "web/package-lock.json keeps download addresses"
node_mqtt=$(grep -A2 '"node_modules/mqtt": {' "$lock")
grep -q '"version": "5\.16\.0"' <<<"$node_mqtt" && grep -q '"integrity": "sha512-' <<<"$node_mqtt" \
  || fail "web/package-lock.json does not pin mqtt 5.16.0 by its sha512: $node_mqtt"

apt=$(mktemp -d)
trap 'rm -rf "$apt"' EXIT
mkdir -p "$apt/sources.list.d"
mirror_of() { bash "$src/scripts/apt_mirror.sh" bookworm "$apt" 2>&1 | paste -sd ' '; }
printf '%s\n' '# deb file:/srv/old/debian bookworm main' 'deb-src file:/srv/src/debian bookworm main' \
  'deb [arch=amd64 signed-by=/k.gpg] file:/srv/one/debian/ bookworm main' \
  'deb file:/srv/one/debian-security bookworm-security main' > "$apt/sources.list"
[ "$(mirror_of)" = "file:/srv/one/debian file:/srv/one/debian-security" ] \
  || fail "one-line sources read as: $(mirror_of)"
rm "$apt/sources.list"
printf '%s\n' 'Types: deb' 'URIs: file:/srv/off/debian' 'Suites: bookworm' 'Enabled: no' '' \
  'Types: deb-src deb' '# a comment' 'URIs: file:/srv/on/debian' 'Suites: bookworm bookworm-updates' \
  > "$apt/sources.list.d/debian.sources"
printf 'deb file:/srv/other/node nodistro main\n' > "$apt/sources.list.d/other.list"
[ "$(mirror_of)" = "file:/srv/on/debian " ] || fail "deb822 sources read as: $(mirror_of)"
rm "$apt/sources.list.d/debian.sources"
out=$(bash "$src/scripts/apt_mirror.sh" bookworm "$apt" 2>&1) && fail "no Debian source, yet: $out"
grep -q "no apt source of this machine serves Debian bookworm" <<<"$out" || fail "no clear error: $out"

echo "package sources: $failures failures"
[ "$failures" -eq 0 ]
