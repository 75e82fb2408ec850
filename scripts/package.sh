#!/usr/bin/env bash
# Builds the Debian package of the station: a Release build of the packaged programs in
# build/package (Debian's hardening flags, no tests), then `cpack -G DEB` there, giving
# build/package/vnk-pc_<version>-<release>_amd64.deb. Checks the desktop entry, the manual
# pages and the package with lintian (no error allowed) and prints the package's path last.
# Installs what is missing with apt-get first: the build's packages (scripts/deps.sh) and
# the packaging tools.
set -euo pipefail
cd "$(dirname "$0")/.."

# The build's packages and the packaging tools.
bash scripts/deps.sh dpkg-dev lintian desktop-file-utils groff man-db

build=${VNK_PACKAGE_BUILD:-build/package}
jobs=$(nproc 2>/dev/null || echo 2)
# Debian's compiler and linker flags for packages: fortified functions, stack protector,
# read-only relocations bound at start (lintian's hardening checks).
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
cxxflags="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)"
ldflags=$(dpkg-buildflags --get LDFLAGS)
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVNK_TESTS=OFF \
  -DCMAKE_CXX_FLAGS="$cxxflags" -DCMAKE_EXE_LINKER_FLAGS="$ldflags" >/dev/null
cmake --build "$build" -j "$jobs"

rm -f "$build"/vnk-pc_*.deb
(cd "$build" && cpack -G DEB >/dev/null)
deb=$(ls "$build"/vnk-pc_*_amd64.deb)

echo "== desktop entry"
desktop-file-validate packaging/vnk-station.desktop && echo "desktop-file-validate: ok"
echo "== manual pages"
for page in "$build"/packaging/man1/*.1; do
  lexgrog "$page"
  warnings=$(groff -man -Tutf8 -wall -z "$page" 2>&1)
  if [ -n "$warnings" ]; then
    echo "$warnings"
    echo "groff reports warnings for $page" >&2
    exit 1
  fi
done
echo "== lintian"
set +e
lintian --display-info "$deb" | tee "$build/lintian.log"
set -e
if grep -q '^E:' "$build/lintian.log"; then
  echo "lintian reports errors" >&2
  exit 1
fi
echo "lintian: $(grep -c '^E:' "$build/lintian.log") errors, $(grep -c '^W:' "$build/lintian.log") warnings"
echo "$deb"
