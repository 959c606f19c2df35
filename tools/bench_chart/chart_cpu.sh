#!/usr/bin/env bash
# CPU and memory of the real program (Qt on a virtual X server) measuring ten simulated
# thermometers every second through a pseudo-terminal, first with the chart never opened,
# then with the chart window open (an hour shown, repainted at every reading). Run it against
# another build's program too (the same settings and bus) to compare. The program runs in a
# mount namespace of its own in which the pseudo-terminal is bound over /dev/ttyS0 (needs
# root), as tools/bench_bus/program_cpu.sh does. Not a test: the figures go to
# docs/performance.md.
#   bash tools/bench_chart/chart_cpu.sh build [seconds] [sensors] [program]
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
source "$root/tools/bench_bus/simulated_bus.sh"
source "$root/tools/bench_chart/open_chart.sh"
build=$(readlink -f "$1")
seconds=${2:-60}
sensors=${3:-10}
program=$(readlink -f "${4:-$build/shell/kalorivox}")
work=$(mktemp -d)
display=:$((190 + RANDOM % 100))
simpty_pid=
program_pid=
xvfb_pid=
cleanup() {
  if [ -n "$program_pid" ]; then kill "$program_pid" 2>/dev/null || true; wait "$program_pid" 2>/dev/null || true; fi
  [ -n "$simpty_pid" ] && kill "$simpty_pid" 2>/dev/null
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

start_simulated_bus "$build/tools/simpty/kalorivox-simpty" "$sensors" 0 "$work/bus"
Xvfb "$display" -screen 0 1280x900x24 >/dev/null 2>&1 &
xvfb_pid=$!
export DISPLAY=$display
sleep 1

ticks=$(getconf CLK_TCK)
cpu_ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }  # utime + stime
rss_mib() { awk '/VmRSS/ {printf "%.1f", $2 / 1024}' "/proc/$1/status"; }
# The program is the child of the namespace's shell once it has exec'd: its own pid.
measure() {  # label
  local before lines_before after lines_after
  lines_before=$(wc -l <"$work/DS18B20_Kalorivox.log")
  before=$(cpu_ticks "$program_pid")
  sleep "$seconds"
  after=$(cpu_ticks "$program_pid")
  lines_after=$(wc -l <"$work/DS18B20_Kalorivox.log")
  awk -v label="$1" -v t=$((after - before)) -v hz="$ticks" -v s="$seconds" \
    -v n=$((lines_after - lines_before)) -v rss="$(rss_mib "$program_pid")" 'BEGIN {
      printf "%-22s %.2f CPU s in %s s = %.2f %% of a core, %d readings, RSS %s MiB\n",
             label, t / hz, s, 100 * t / hz / s, n, rss }'
}

cp "$program" "$work/kalorivox"
printf '\xEF\xBB\xBF\r\nPort = ttyS0\r\nInterval = 1\r\nLog = 1\r\nThermoControl = 1\r\nThermoMin = 20\r\nThermoMax = 25\r\n' \
  >"$work/Kalorivox.ini"
unshare --mount --propagation private \
  sh -c 'mount --bind "$1" /dev/ttyS0 && cd "$2" && QT_QPA_PLATFORM=xcb exec ./kalorivox' sh \
  "$(readlink -f "$work/bus")" "$work" 2>/dev/null &
program_pid=$!
wait_for_readings "$work/DS18B20_Kalorivox.log"
sleep 3
program_pid=$(pgrep -P "$program_pid" || echo "$program_pid")
echo "program: $program, $sensors sensors, interval 1 s"
measure "chart never opened"

open_chart_linux
if xdotool search --name "График температур" >/dev/null; then
  xdotool mousemove 5 5  # the pointer away from the chart
  measure "chart open (1 hour)"
else
  echo "no chart window in this program"
fi
