#!/usr/bin/env bash
# CPU use of the real Windows program under Wine, drawn on a screen, while it monitors
# simulated thermometers every second: kalorivox-simpty (Linux build, wire time on, the given
# echo latency) serves them on a pseudo-terminal that Wine maps as COM42, listed in the
# registry's serial device map. Each program given (default: build-win32/kalorivox.exe) runs
# in turn from a copy in a temporary folder with its own settings (COM42, interval 1 s, log
# on), on Wine's X11 driver on a virtual X server; once readings are being logged, the CPU
# time (utime + stime from /proc) of the program and of the Wine server is read over the
# given seconds. Not a test: the figures go to docs/performance.md.
#   bash tools/bench_bus/wine_program_cpu.sh [seconds] [sensors] [latency-ms] [program.exe...]
# Needs build/ (bash tools/build.sh build) and build-win32/ (bash tools/win32.sh). The Wine
# prefix build-win32/wine-screen (X11 driver) is made on first use.
set -euo pipefail
source "$(dirname "$0")/simulated_bus.sh"
root=$(cd "$(dirname "$0")/../.." && pwd)
seconds=${1:-60}
sensors=${2:-5}
latency=${3:-16}
shift $(($# < 3 ? $# : 3))
programs=("$@")
((${#programs[@]})) || programs=("$root/build-win32/kalorivox.exe")
simpty=$root/build/tools/simpty/kalorivox-simpty
[ -x "$simpty" ] || { echo "wine_program_cpu: no $simpty"; exit 1; }
for p in "${programs[@]}"; do [ -f "$p" ] || { echo "wine_program_cpu: no $p"; exit 1; }; done

# The window is drawn: without a screen, run on a virtual X server.
if [ -z "${DISPLAY:-}" ]; then
  exec xvfb-run -a -s "-screen 0 1024x768x24" bash "$0" "$seconds" "$sensors" "$latency" \
    "${programs[@]}"
fi

export WINEPREFIX=$root/build-win32/wine-screen WINEARCH=win32 WINEDEBUG=-all
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "wine_program_cpu: making the Wine prefix $WINEPREFIX"
  wineboot -i </dev/null >/dev/null 2>&1
  wineserver -w
fi

work=$(mktemp -d)
simpty_pid=
server_pid=
program_pid=
cleanup() {
  [ -n "$program_pid" ] && kill "$program_pid" 2>/dev/null
  stop_wine_bench
}
trap cleanup EXIT

start_simulated_bus "$simpty" "$sensors" "$latency" "$work/bus"
serve_bus_as_com42 "$work/bus"

ticks=$(getconf CLK_TCK)
cpu_ticks() { awk '{print $14 + $15}' "/proc/$1/stat" 2>/dev/null || echo 0; }  # utime + stime
log_lines() { [ -f "$1" ] && wc -l <"$1" || echo 0; }

# Prints the CPU of the program and of the server over $seconds.
measure() {
  local before server_before lines_before started after server_after lines_after ended
  lines_before=$(log_lines "$run/DS18B20_Kalorivox.log")
  before=$(cpu_ticks "$program_pid")
  server_before=$(cpu_ticks "$server_pid")
  started=$(date +%s.%N)
  sleep "$seconds"
  after=$(cpu_ticks "$program_pid")
  server_after=$(cpu_ticks "$server_pid")
  ended=$(date +%s.%N)
  lines_after=$(log_lines "$run/DS18B20_Kalorivox.log")
  awk -v b=$((after - before)) -v w=$((server_after - server_before)) \
    -v n=$((lines_after - lines_before)) -v hz="$ticks" -v a="$started" -v e="$ended" 'BEGIN {
      s = e - a
      printf "  program %.2f CPU s = %.2f %% of a core;  Wine server %.2f CPU s = %.2f %%;  %d readings in %.0f s\n",
             b / hz, 100 * b / hz / s, w / hz, 100 * w / hz / s, n, s }'
}

echo "wine_program_cpu: $sensors sensors, latency $latency ms, interval 1 s, $seconds s each, load $(cut -d' ' -f1-3 /proc/loadavg)"
for program in "${programs[@]}"; do
  run=$work/run
  rm -rf "$run"
  mkdir -p "$run"
  cp "$program" "$run/kalorivox.exe"
  printf '\xEF\xBB\xBFPort = COM42\r\nInterval = 1\r\nLog = 1\r\n' >"$run/Kalorivox.ini"
  wine "$run/kalorivox.exe" </dev/null >/dev/null 2>&1 &
  program_pid=$!
  wait_for_readings "$run/DS18B20_Kalorivox.log"
  echo "$program"
  measure
  kill "$program_pid"
  wait "$program_pid" 2>/dev/null || true
  program_pid=
done
