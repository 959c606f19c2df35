#!/usr/bin/env bash
# Installs the Debian packages Kalorivox needs for one purpose. Safe to run again: it asks apt
# only for what is missing.
#   tools/setup.sh window   build and run the window program (tools/run.sh)
#   tools/setup.sh logger   build the headless logger and its Debian package (tools/logger.sh)
#   tools/setup.sh tests    both, and the test tools (tools/test.sh; the default)
# Some test tools come in packages that are servers (the mosquitto broker; prometheus, for its
# promtool). They are installed with their services held back: nothing is started while the
# packages go in, and every service that the installation enabled is disabled again, so none
# runs now or after the next boot. The tests start their own broker on loopback.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

build=(build-essential cmake ninja-build pkg-config)
window=(qt6-base-dev qt6-base-dev-tools libgl-dev fonts-dejavu-core)
# The package: dpkg-shlibdeps (dpkg-dev, with build-essential) uses file to find the libraries.
# The live page (--http): its HTTP server library, and the chart library built into the page.
logger=(libmosquitto-dev file libmicrohttpd-dev libjs-dygraphs)
tests=(
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  clang libclang-rt-dev clang-format python3
  fonts-noto-core xvfb xauth x11-utils imagemagick xdotool
  mosquitto mosquitto-clients
  # promtool checks the probe's Prometheus file, systemd-analyze its systemd unit.
  prometheus systemd
  # The browser the live page's test drives.
  chromium chromium-driver python3-selenium
)

case "${1:-tests}" in
  window) packages=("${build[@]}" "${window[@]}") ;;
  logger) packages=("${build[@]}" "${logger[@]}") ;;
  tests) packages=("${build[@]}" "${window[@]}" "${logger[@]}" "${tests[@]}") ;;
  *)
    echo "usage: $0 [window | logger | tests]" >&2
    exit 2
    ;;
esac

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
((${#missing[@]})) || exit 0
[ "$(id -u)" -eq 0 ] || exec sudo bash "$0" "$@"

# One setup at a time: the policy below is shared by everything apt starts meanwhile.
lock_dir=/run/lock
[ -d "$lock_dir" ] || lock_dir=/tmp
exec 9>"$lock_dir/kalorivox-setup.lock"
flock 9

# invoke-rc.d and deb-systemd-invoke ask /usr/sbin/policy-rc.d before they start a service;
# 101 means "not allowed". A policy the machine already has stays as it is.
policy=/usr/sbin/policy-rc.d
if [ ! -e "$policy" ]; then
  printf '#!/bin/sh\n# tools/setup.sh of Kalorivox: no service starts while it installs.\nexit 101\n' >"$policy"
  chmod 755 "$policy"
  trap 'rm -f "$policy"' EXIT
fi

# The services enabled now, as systemd's links say (readable without a running systemd).
enabled_units() {
  find /etc/systemd/system -mindepth 2 -maxdepth 2 -type l \
    \( -path '*.wants/*' -o -path '*.requires/*' \) -printf '%f\n' 2>/dev/null | sort -u
}
before=$(enabled_units)

echo "setup: installing ${missing[*]}"
apt_get() {
  # Others on the machine may be running apt: wait for its lock instead of failing.
  DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=600 "$@"
}
apt_get update -qq
apt_get install -y -qq --no-install-recommends "${missing[@]}"

for unit in $(comm -13 <(echo "$before") <(enabled_units)); do
  echo "setup: $unit came enabled with the packages; disabled (the tests start what they need)"
  if command -v systemctl >/dev/null; then
    systemctl disable --quiet "$unit" 2>/dev/null || true
    # Where the machine's own policy let it start, it is stopped too.
    [ -d /run/systemd/system ] && systemctl stop "$unit" 2>/dev/null || true
  else
    deb-systemd-helper disable "$unit" || true
  fi
done
exit 0
