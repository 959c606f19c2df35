#!/usr/bin/env bash
# Screenshots of the chart window for the docs, from the real programs on a virtual X server:
#   bash tools/bench_chart/screenshots.sh linux|windows demo|day OUT.png [seconds]
# demo: the program watches DEMO for the given seconds (default 180) and shows 10 minutes.
# day:  no port; a day of readings is in the log (tools/bench_chart/day_log.py) and the chart
#       shows 24 hours with the pointer over the night.
# Linux takes build/shell/kalorivox (Qt on X11), Windows build-win32/kalorivox.exe under Wine
# in a prefix of its own (made afresh, about 20 s), its windows in a Wine desktop with the
# frames Wine draws. The menu and the range list are worked with xdotool's keys and clicks.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
source "$root/tools/bench_chart/open_chart.sh"
platform=$1
kind=$2
out=$(readlink -f "$3")
seconds=${4:-180}
work=$(mktemp -d)
display=:$((90 + RANDOM % 100))
desktop=1060x700
xvfb_pid=
program_pid=
cleanup() {
  if [ -n "$program_pid" ]; then
    kill "$program_pid" 2>/dev/null || true
    wait "$program_pid" 2>/dev/null || true  # it saves its settings on the way out
  fi
  if [ "$platform" = windows ]; then
    WINEPREFIX=$work/wine wineserver -k 2>/dev/null || true
  fi
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

if [ "$kind" = demo ]; then port=DEMO; else port=; fi
printf '\xEF\xBB\xBF\r\nPort = %s\r\nInterval = 1\r\nThermoControl = 1\r\nConvertOnly = 0\r\nThermoMin = 20\r\nThermoMax = 22\r\nLog = 0\r\nCPU_MinUsage = 0\r\nInvert = 0\r\n' \
  "$port" >"$work/Kalorivox.ini"
[ "$kind" = day ] && python3 "$root/tools/bench_chart/day_log.py" "$work/DS18B20_Kalorivox.log"

Xvfb "$display" -screen 0 1280x900x24 >/dev/null 2>&1 &
xvfb_pid=$!
export DISPLAY=$display
sleep 1
if [ "$platform" = linux ]; then
  cp "$root/build/shell/kalorivox" "$work/"
  (cd "$work" && QT_QPA_PLATFORM=xcb exec ./kalorivox >/dev/null 2>&1) &
  program_pid=$!
else
  cp "$root/build-win32/kalorivox.exe" "$work/"
  export WINEPREFIX=$work/wine WINEARCH=win32 WINEDEBUG=-all
  wineboot -i >/dev/null 2>&1
  (cd "$work" && exec wine explorer /desktop=kv,$desktop kalorivox.exe >/dev/null 2>&1) &
  program_pid=$!
fi
sleep 6
[ "$kind" = demo ] && sleep "$seconds"

if [ "$platform" = linux ]; then
  open_chart_linux
  xdotool windowmove "$main" 1300 1000  # out of the picture
  chart=$(xdotool search --name "График температур" | head -1)
  eval "$(xdotool getwindowgeometry --shell "$chart")"
  xdotool mousemove $((X + 110)) $((Y + 15)) click 1
  sleep 0.5
else
  # In the Wine desktop (its top left corner at the screen's): the main window is centred,
  # its menu title Файл at 252,169 and the chart's item below it; the chart window, centred
  # too, opens with its range list focused.
  xdotool mousemove 252 169 click 1
  sleep 1
  xdotool mousemove 300 210 click 1
  sleep 2
  X=117
  Y=120
  frame=828x508+115+95  # the chart window with the frame Wine draws
fi
if [ "$kind" = demo ]; then
  xdotool key Up
else
  xdotool key Down
fi
[ "$platform" = linux ] && xdotool key Return
sleep 1
# The pointer over the plot: over the readings of the last minutes, or over the night.
if [ "$kind" = demo ]; then
  xdotool mousemove $((X + 530)) $((Y + 200))
else
  xdotool mousemove $((X + 260)) $((Y + 200))
fi
sleep 1
if [ "$platform" = linux ]; then
  import -window "$chart" "$out"
else
  import -window root -crop "$frame" "$out"
fi
echo "screenshot: $out"
