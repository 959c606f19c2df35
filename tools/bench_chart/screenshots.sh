#!/usr/bin/env bash
# Screenshots of the chart window as its users read it, from the real programs on a virtual X
# server:
#   bash tools/bench_chart/screenshots.sh linux|windows SCENE OUT.png [PROGRAM]
# SCENE:
#   placement  a 1920 x 1080 screen, a day of log (day_log.py): the main window where it starts,
#              the chart opened from its menu; the whole screen.
#   small      a 1366 x 768 screen, the same; then the chart is asked for 200 x 150 (smaller than
#              the user may make it) and taken alone as OUT-least.png.
#   lost       four thermometers (those of day_log.py) served by kalorivox-simpty, the last hour
#              of their log at one reading a second; one is pulled out half a minute before the
#              picture; ten minutes shown, the pointer over the last minute.
#   all        no port; a log of 72 hours (day_log.py); «Всё» chosen, the pointer over the
#              first day.
#   saved      as `all`, saved through the chart's own menu: the PNG it wrote as OUT.png, the
#              window right after as OUT-note.png, and six seconds and a change of the period
#              later as OUT-later.png.
# PROGRAM: the program to run, by default build/shell/kalorivox (Linux: Qt on X11) or
#   build-win32/kalorivox.exe (Windows: under Wine, in a prefix of its own made afresh, about
#   20 s, in a Wine desktop with the frames Wine draws); another build's for pictures from
#   before a change. Under Wine the windows are found and sized by kv_windows_of_desktop.exe
#   of build-win32; `lost` takes kalorivox-simpty of build/ and, on Linux, root (the pty is
#   bound over /dev/ttyS0 in a mount namespace of the program's own). The Linux program runs
#   under Openbox, which frames its windows and holds them to their least size.
# Installs what is missing of Xvfb, xdotool, ImageMagick and Openbox (Debian packages).
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
missing=()
for tool in Xvfb:xvfb xdotool:xdotool xwininfo:x11-utils import:imagemagick openbox:openbox; do
  command -v "${tool%%:*}" >/dev/null || missing+=("${tool#*:}")
done
if ((${#missing[@]})); then
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO=sudo
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get -o DPkg::Lock::Timeout=600 install -y -qq \
    --no-install-recommends "${missing[@]}" >/dev/null
fi
platform=$1
scene=$2
out=$(readlink -f "$3")
if [ "$platform" = linux ]; then
  program=$(readlink -f "${4:-$root/build/shell/kalorivox}")
else
  program=$(readlink -f "${4:-$root/build-win32/kalorivox.exe}")
fi
lister=$root/build-win32/tools/bench_chart/kv_windows_of_desktop.exe
simpty=$root/build/tools/simpty/kalorivox-simpty
work=$(mktemp -d)
display=:$((90 + RANDOM % 100))
case $scene in
  placement) screen=1920x1080 ;;
  small) screen=1366x768 ;;
  *) screen=2400x1100 ;;  # room for the chart at its first size beside the main window
esac
xvfb_pid=
wm_pid=
program_pid=
simpty_pid=
cleanup() {
  if [ -n "$program_pid" ]; then
    kill "$program_pid" 2>/dev/null || true
    wait "$program_pid" 2>/dev/null || true  # it saves its settings on the way out
  fi
  [ -n "$simpty_pid" ] && kill "$simpty_pid" 2>/dev/null
  if [ "$platform" = windows ]; then
    WINEPREFIX=$work/wine wineserver -k 2>/dev/null || true
  fi
  [ -n "$wm_pid" ] && kill "$wm_pid" 2>/dev/null
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

# The sensors of day_log.py, in bus order for kalorivox-simpty (CRC computed), with a value
# near the end of their log; the room's is the one pulled out.
sensor_args() {
  python3 - <<'EOF'
for family, serial, celsius, flags in [(0x28, 0x0417A3C41EFF, "21.25", ":away"),
                                       (0x28, 0x03168E2A4B11, "55.5", ""),
                                       (0x28, 0x0000075B33C2, "-18.5", ""),
                                       (0x10, 0x0008021B6F3A, "3.5", "")]:
    kind = "--ds18s20" if family == 0x10 else "--ds18b20"
    rom = "%02X" % family + "".join("%02X" % ((serial >> (8 * i)) & 0xFF) for i in range(6))
    print(kind, "%s:%s%s" % (rom, celsius, flags))
EOF
}

port=
case $scene in
  lost)
    [ "$platform" = linux ] && port=ttyS0 || port=COM42
    python3 "$root/tools/bench_chart/day_log.py" "$work/DS18B20_Kalorivox.log" --hours 1 --interval 1
    # shellcheck disable=SC2046
    "$simpty" $(sensor_args) --link "$work/bus" </dev/null >/dev/null &
    simpty_pid=$!
    for _ in $(seq 50); do [ -L "$work/bus" ] && break; sleep 0.1; done
    kill -USR1 "$simpty_pid"  # the room's sensor is plugged in before the program starts
    ;;
  all | saved)
    python3 "$root/tools/bench_chart/day_log.py" "$work/DS18B20_Kalorivox.log" --hours 72
    ;;
  placement | small)
    python3 "$root/tools/bench_chart/day_log.py" "$work/DS18B20_Kalorivox.log"
    ;;
esac
printf '\xEF\xBB\xBF\r\nPort = %s\r\nInterval = 1\r\nThermoControl = 1\r\nConvertOnly = 0\r\nThermoMin = 20\r\nThermoMax = 22\r\nLog = 0\r\nCPU_MinUsage = 0\r\nInvert = 0\r\n' \
  "$port" >"$work/Kalorivox.ini"

Xvfb "$display" -screen 0 "${screen}x24" >/dev/null 2>&1 &
xvfb_pid=$!
export DISPLAY=$display
sleep 1
if [ "$platform" = linux ]; then
  openbox >/dev/null 2>&1 &
  wm_pid=$!
  sleep 1
  cp "$program" "$work/kalorivox"
  if [ "$scene" = lost ]; then
    unshare --mount --propagation private \
      sh -c 'mount --bind "$1" /dev/ttyS0 && cd "$2" && QT_QPA_PLATFORM=xcb exec ./kalorivox' sh \
      "$(readlink -f "$work/bus")" "$work" >/dev/null 2>&1 &
  else
    (cd "$work" && QT_QPA_PLATFORM=xcb exec ./kalorivox >/dev/null 2>&1) &
  fi
  program_pid=$!
else
  cp "$program" "$work/kalorivox.exe"
  cp "$lister" "$work/"
  export WINEPREFIX=$work/wine WINEARCH=win32 WINEDEBUG=-all
  wineboot -i >/dev/null 2>&1
  wineserver -w
  if [ "$scene" = lost ]; then
    wineserver -p </dev/null >/dev/null 2>&1 || true
    wine cmd /c exit </dev/null >/dev/null 2>&1 || true
    ln -sfn "$(readlink -f "$work/bus")" "$WINEPREFIX/dosdevices/com42"
    wine reg add 'HKLM\HARDWARE\DEVICEMAP\SERIALCOMM' /v KalorivoxBench /d COM42 /f \
      </dev/null >/dev/null 2>&1
  fi
  (cd "$work" && exec wine explorer /desktop=kv,$screen kalorivox.exe >/dev/null 2>&1) &
  program_pid=$!
fi
sleep 8

# Where a window is: X Y W H (its frame) and CX CY (its client area, below the menu bar).
locate() {  # title
  if [ "$platform" = linux ]; then
    local id
    local info
    info=$(xwininfo -id "$(xdotool search --name "$1" | head -1)")
    field() { awk -F: -v f="$1" '$1 ~ f {gsub(/ /, "", $2); print $2}' <<<"$info"; }
    # The client area in Openbox's frame; Qt's menu bar is inside it.
    CX=$(field "Absolute upper-left X")
    W=$(field "Width")
    H=$(field "Height")
    X=$((CX - $(field "Relative upper-left X")))
    Y=$(($(field "Absolute upper-left Y") - $(field "Relative upper-left Y")))
    CY=$(($(field "Absolute upper-left Y") + 25))
  else
    read -r X Y W H CX CY < <(cd "$work" && wine kv_windows_of_desktop.exe kv 2>/dev/null |
      tr -d '\r' | awk -v t="$1" 'index($0, t) {print $1, $2, $3, $4, $5, $6; exit}')
  fi
}
# Sizes a window's client area (menu bar counted in) as the user would, by its border.
size_window() {  # title width height
  if [ "$platform" = linux ]; then
    xdotool windowsize "$(xdotool search --name "$1" | head -1)" "$2" "$3"
  else
    (cd "$work" && wine kv_windows_of_desktop.exe kv "$1" "$2" "$(($3 - 20))" >/dev/null 2>&1) ||
      true
  fi
  sleep 3  # repainted at its new size
}
shoot_window() {  # title file
  if [ "$platform" = linux ]; then
    import -frame -window "$(xdotool search --name "$1" | head -1)" "$2"
  else
    locate "$1"
    import -window root -crop "${W}x${H}+${X}+${Y}" +repage "$2"
  fi
}
choose_menu_item() {  # title of the window, downs to the item
  locate "$1"
  if [ "$platform" = linux ]; then
    xdotool mousemove $((CX + 20)) $((CY - 15)) click 1
  else
    xdotool mousemove $((X + 20)) $((CY - 10)) click 1
  fi
  sleep 0.7
  for ((i = 0; i < $2; i++)); do xdotool key Down; done
  xdotool key Return
  sleep 1.5
}
# The chart opens with its period list focused: Up and Down choose in it.
choose_period() {  # keys
  # shellcheck disable=SC2086
  xdotool key $1
  [ "$platform" = linux ] && xdotool key Return
  sleep 1
}
point_at() {  # share of the chart's width, share of its height
  locate "График температур"
  xdotool mousemove $((CX + W * $1 / 100)) $((CY + 30 + (H - 60) * $2 / 100))
  sleep 1
}

if [ "$scene" = lost ]; then
  sleep 40
  kill -USR1 "$simpty_pid"  # the room's sensor pulled out
  sleep 30
fi
choose_menu_item "DS18B20 Kalorivox" 2
case $scene in
  placement)
    import -window root "$out"
    ;;
  small)
    import -window root "$out"
    size_window "График температур" 200 150
    choose_period Up  # a change to show: Wine draws the resized window anew
    shoot_window "График температур" "${out%.png}-least.png"
    ;;
  lost)
    choose_period Up
    point_at 72 30
    shoot_window "График температур" "$out"
    ;;
  all)
    choose_period "Down Down"
    point_at 18 40
    shoot_window "График температур" "$out"
    ;;
  saved)
    choose_period "Down Down"
    choose_menu_item "График температур" 1
    cp "$(ls "$work"/DS18B20_Kalorivox_*.png | head -1)" "$out"
    shoot_window "График температур" "${out%.png}-note.png"
    sleep 6
    choose_period Up
    shoot_window "График температур" "${out%.png}-later.png"
    ;;
esac
echo "screenshot: $out"
