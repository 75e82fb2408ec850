#!/usr/bin/env bash
# Puts the MQTT client the remote page runs (the `mqtt` package's browser bundle, from the
# npm registry) into web/vendor/, which git ignores. The version and the registry's sha512 of
# its tarball are pinned here: a tarball that does not match is refused, nothing is
# installed. Does nothing when the bundle of this version is already there.
set -euo pipefail
cd "$(dirname "$0")/.."

version=5.16.0
integrity=sha512-G0VsEtuJz5sJUgZJaaADMVfW7SIFPzkIuHR+d6rk+tBeSwdCfd9BaIRycRfd2AbyFDEmLlFM+SDQeti/+IbOnw==
registry=${NPM_REGISTRY:-https://registry.npmjs.org}
vendor=web/vendor

if [ -f "$vendor/mqtt.min.js" ] && [ "$(cat "$vendor/VERSION" 2>/dev/null)" = "mqtt $version" ]; then
  exit 0
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
tarball="$work/mqtt-$version.tgz"
echo "Fetching the browser MQTT client (mqtt $version) from $registry"
if ! curl -fsSL --retry 3 --max-time 120 -o "$tarball" "$registry/mqtt/-/mqtt-$version.tgz"; then
  echo "web_bundle.sh: could not download mqtt $version from $registry" >&2
  exit 1
fi
got="sha512-$(openssl dgst -sha512 -binary "$tarball" | base64 -w0)"
if [ "$got" != "$integrity" ]; then
  echo "web_bundle.sh: mqtt-$version.tgz does not match its pinned sha512; not installed" >&2
  exit 1
fi
tar -xzf "$tarball" -C "$work" package/dist/mqtt.min.js package/LICENSE.md
mkdir -p "$vendor"
# The bundle goes in last, so that a copy cut short is never taken for a whole one.
cp "$work/package/LICENSE.md" "$vendor/LICENSE.mqtt.md"
cp "$work/package/dist/mqtt.min.js" "$vendor/mqtt.min.js.part"
mv "$vendor/mqtt.min.js.part" "$vendor/mqtt.min.js"
echo "mqtt $version" > "$vendor/VERSION"
