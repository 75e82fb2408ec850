#!/usr/bin/env bash
# Puts the MQTT client the remote page runs (the `mqtt` package's browser bundle and its
# licence) into web/vendor/, which git ignores. web/package-lock.json pins the version and
# its integrity: `npm ci` installs exactly that into web/node_modules/ (ignored too) from the
# registry npm is configured with, refuses a tarball that does not match, and runs no
# package's scripts. Does nothing when the bundle of the pinned version is already there.
set -euo pipefail
cd "$(dirname "$0")/../web"

if ! command -v npm >/dev/null || ! command -v node >/dev/null; then
  echo "web_bundle.sh: npm is not installed (scripts/deps.sh installs Debian's npm)" >&2
  exit 1
fi
version=$(node -p 'require("./package-lock.json").packages["node_modules/mqtt"].version')
vendor=vendor

if [ -f "$vendor/mqtt.min.js" ] && [ "$(cat "$vendor/VERSION" 2>/dev/null)" = "mqtt $version" ]; then
  exit 0
fi

echo "Installing the browser MQTT client (mqtt $version) with npm ci"
if ! npm ci --ignore-scripts --no-audit --no-fund --loglevel=error; then
  echo "web_bundle.sh: npm ci could not install mqtt $version (see npm's message above)" >&2
  exit 1
fi
package=node_modules/mqtt
if [ "$(node -p 'require("./node_modules/mqtt/package.json").version')" != "$version" ]; then
  echo "web_bundle.sh: npm ci installed another mqtt than the lock file's $version" >&2
  exit 1
fi
mkdir -p "$vendor"
# The bundle goes in last, so that a copy cut short is never taken for a whole one.
cp "$package/LICENSE.md" "$vendor/LICENSE.mqtt.md"
cp "$package/dist/mqtt.min.js" "$vendor/mqtt.min.js.part"
mv "$vendor/mqtt.min.js.part" "$vendor/mqtt.min.js"
echo "mqtt $version" > "$vendor/VERSION"
