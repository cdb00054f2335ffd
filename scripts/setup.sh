#!/usr/bin/env bash
# Installs every Debian package needed to build, test and run the program.
# Works as root, or for a person through sudo.
set -euo pipefail

PACKAGES=(
  build-essential cmake ninja-build pkg-config ccache
  qt6-base-dev qt6-base-dev-tools qt6-serialport-dev qt6-svg-dev qt6-image-formats-plugins
  libqt6svg6 libgl-dev
  libudev-dev libftdi1-dev libusb-1.0-0-dev zlib1g-dev libzip-dev
  avrdude
  xvfb xauth
)

SUDO=""
if [ "$(id -u)" -ne 0 ]; then
  SUDO="sudo"
fi

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -gt 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update
  $SUDO apt-get install -y --no-install-recommends "${missing[@]}"
fi
