#!/usr/bin/env bash
# Installs the Debian packages Kalorivox needs to build, test and run. Safe to run again:
# it asks apt only for what is missing.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  clang libclang-rt-dev clang-format python3
  qt6-base-dev qt6-base-dev-tools libgl-dev
  fonts-dejavu-core fonts-noto-core
  xvfb xauth x11-utils imagemagick xdotool
  mosquitto mosquitto-clients libmosquitto-dev
  # promtool checks the probe's Prometheus file, systemd-analyze its systemd unit.
  prometheus systemd
  # The probe's live page (--http): its HTTP server and chart library, and the browser its
  # test drives.
  libmicrohttpd-dev libjs-dygraphs chromium chromium-driver python3-selenium
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

if ((${#missing[@]})); then
  echo "setup: installing ${missing[*]}"
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO=sudo
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
