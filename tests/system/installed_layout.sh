#!/usr/bin/env bash
# `cmake --install` of the build into a scratch prefix: the programs of the package (never
# the demo station), the share files, manual pages, desktop entry and Debian documents; the
# installed station names the machine-wide program folder of its installation, the station
# of the build tree its own folder.
# Usage: installed_layout.sh BUILD_DIR INSTALL_HOME BUILT_STATION
set -u
build=$1
home=$2
built=$3
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

cmake --install "$build" --prefix "$prefix" >/dev/null || fail "cmake --install failed"

for f in bin/vnk-station bin/vnk-sim bin/vnk-blender; do
  [ -x "$prefix/$f" ] || fail "$f is not installed"
done
[ -e "$prefix/bin/vnk-station-demo" ] && fail "the demo station is installed"
for f in share/vnk-pc/switch.wav share/vnk-pc/alarm.wav share/applications/vnk-station.desktop \
         share/icons/hicolor/scalable/apps/vnk-station.svg \
         share/doc/vnk-pc/copyright share/doc/vnk-pc/99-vnk-ports.rules \
         share/vnk-pc/web/index.html share/vnk-pc/web/app.js; do
  [ -s "$prefix/$f" ] || fail "$f is missing or empty"
done
# The page goes without what npm needed to fetch its bundle.
for f in package.json package-lock.json .npmrc node_modules; do
  [ -e "$prefix/share/vnk-pc/web/$f" ] && fail "share/vnk-pc/web/$f is installed"
done
for f in share/man/man1/vnk-station.1.gz share/man/man1/vnk-sim.1.gz \
         share/man/man1/vnk-blender.1.gz share/doc/vnk-pc/changelog.Debian.gz; do
  gzip -t "$prefix/$f" 2>/dev/null || fail "$f is not a gzip file"
done
# The marker names the folder; the installed program reads it, the built one has none.
marker=$(cat "$prefix/share/vnk-pc/installed-home" 2>/dev/null)
[ "$marker" = "$home" ] || fail "installed-home says '$marker', not '$home'"
out=$(env -u VNK_HOME "$prefix/bin/vnk-station" --help 2>&1)
grep -qF "else $home." <<<"$out" || fail "the installed station does not name $home: $out"
own=$(dirname "$(readlink -f "$built")")
out=$(env -u VNK_HOME "$built" --help 2>&1)
grep -qF "else $own." <<<"$out" || fail "the built station does not name $own: $out"
out=$(VNK_HOME=/srv/elsewhere "$prefix/bin/vnk-station" --help 2>&1)
grep -qF "else $home." <<<"$out" || fail "VNK_HOME changed the installation's default: $out"

echo "installed layout: $failures failures"
[ "$failures" -eq 0 ]
