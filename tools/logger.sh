#!/usr/bin/env bash
# The headless machine's command of the README: installs what the logger needs to build (no
# Qt, no test tools), builds kalorivox-probe alone in build-logger/, makes its Debian package
# and installs it: the program in /usr/bin, its systemd unit, the unit's options in
# /etc/default/kalorivox-probe and the service's user kalorivox. The service is left off.
#   tools/logger.sh             build and install
#   tools/logger.sh --package   only build the package (build-logger/kalorivox-probe_*.deb)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir=$root/build-logger
install=1
case "${1:-}" in
  --package) install=0 ;;
  "") ;;
  *)
    echo "usage: $0 [--package]" >&2
    exit 2
    ;;
esac

bash "$root/tools/setup.sh" logger
cmake -S "$root" -B "$dir" -G Ninja -DKV_WITH_QT=OFF -DKV_BUILD_TESTS=OFF \
  -DCMAKE_INSTALL_PREFIX=/usr >/dev/null
cmake --build "$dir" --target kalorivox-probe -j"$(nproc)"
rm -f "$dir"/kalorivox-probe_*.deb
(cd "$dir" && cpack -G DEB >/dev/null)
package=$(ls "$dir"/kalorivox-probe_*.deb)
echo "logger: package $package"
((install)) || exit 0

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO=sudo
# apt takes a local file by its path and brings what it depends on (libmosquitto1, adduser);
# --reinstall puts a package rebuilt under the same version in place of the installed one.
DEBIAN_FRONTEND=noninteractive $SUDO apt-get -o DPkg::Lock::Timeout=600 install --reinstall -y -qq \
  --no-install-recommends "$package"
cat <<'EOF'
logger: kalorivox-probe is installed; its service is off. Set the port and the outputs in
  /etc/default/kalorivox-probe, then start it now and at every boot with
    sudo systemctl enable --now kalorivox-probe
  and watch it with: journalctl -u kalorivox-probe -f
EOF
