#!/usr/bin/env bash
# Makes the Windows program's icon, shell/win32/kalorivox.ico, from shell/resources/kalorivox.svg:
# 16, 24, 32, 48 and 64 pixels as 32-bit images for the window, the taskbar and small views,
# and 256 pixels stored as PNG for Explorer's large views. The icon is committed; run this
# after changing the drawing. Installs what is missing first (librsvg2-bin, icoutils).
#   bash tools/make_icon.sh
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
packages=(librsvg2-bin icoutils)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if ((${#missing[@]})); then
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO=sudo
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
images=()
for size in 16 24 32 48 64; do
  rsvg-convert -w "$size" -h "$size" -o "$work/$size.png" "$root/shell/resources/kalorivox.svg"
  images+=("$work/$size.png")
done
rsvg-convert -w 256 -h 256 -o "$work/256.png" "$root/shell/resources/kalorivox.svg"
icotool -c -o "$root/shell/win32/kalorivox.ico" "${images[@]}" -r "$work/256.png"
icotool -l "$root/shell/win32/kalorivox.ico"
