#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the demo need, when any is missing,
# and the remote page's MQTT client with npm (scripts/web_bundle.sh; Debian's npm when no npm
# is on PATH). Packages named as arguments are installed too (the packaging tools of
# scripts/package.sh).
set -euo pipefail

packages=(
  cmake ninja-build g++ clang libclang-rt-14-dev pkg-config
  qt6-base-dev qt6-multimedia-dev qt6-charts-dev libqt6opengl6-dev libgl-dev
  libgtest-dev libgmock-dev libbenchmark-dev libsqlite3-dev
  mosquitto mosquitto-clients libmosquitto-dev openssl iproute2
  chromium ca-certificates python3-jsonschema
  xvfb xauth fonts-dejavu-core locales xdg-utils openbox x11-utils poppler-utils
  "$@"
)
# The page's bundle is installed with npm ci: whichever npm the machine has, else Debian's.
command -v npm >/dev/null || packages+=(npm)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# The tests start the station under a decimal-comma locale to show that its numbers keep
# their points whatever the desktop's language: generate de_DE.UTF-8 when it is missing.
if ! locale -a 2>/dev/null | grep -qix 'de_DE\.utf-\?8'; then
  echo "Generating the de_DE.UTF-8 locale"
  if grep -q '^# *de_DE\.UTF-8 UTF-8' /etc/locale.gen; then
    $SUDO sed -i 's/^# *\(de_DE\.UTF-8 UTF-8\)/\1/' /etc/locale.gen
  elif ! grep -q '^de_DE\.UTF-8 UTF-8' /etc/locale.gen; then
    echo 'de_DE.UTF-8 UTF-8' | $SUDO tee -a /etc/locale.gen >/dev/null
  fi
  $SUDO locale-gen >/dev/null
fi

# The remote page's MQTT client, into web/vendor/ (ignored by git), from the lock file.
bash "$(dirname "$0")/web_bundle.sh"
