#!/usr/bin/env bash
# CPU use of the real program monitoring a bus served by kalorivox-simpty (wire time on,
# the given echo latency), in both settings of CPU_MinUsage. The program runs offscreen
# from a copy in a temporary folder with its own settings file, measuring every second and
# logging; its CPU time is read from /proc after the search, over the given number of
# seconds. The program offers only the system's serial ports, so it runs in a mount namespace
# of its own in which the pseudo-terminal is bound over /dev/ttyS0 (needs root; nothing
# outside the namespace sees it). Not a test: the figures go to docs/performance.md.
#   bash tools/bench_bus/program_cpu.sh build [seconds] [latency-ms] [sensors]
set -euo pipefail
source "$(dirname "$0")/simulated_bus.sh"
build=$(readlink -f "$1")
seconds=${2:-60}
latency=${3:-16}
sensors=${4:-10}
work=$(mktemp -d)
simpty_pid=
program_pid=
cleanup() {
  [ -n "$program_pid" ] && kill "$program_pid" 2>/dev/null && wait "$program_pid" 2>/dev/null
  [ -n "$simpty_pid" ] && kill "$simpty_pid" 2>/dev/null && wait "$simpty_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

start_simulated_bus "$build/tools/simpty/kalorivox-simpty" "$sensors" "$latency" "$work/bus"

ticks=$(getconf CLK_TCK)
cpu_ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }  # utime + stime

cp "$build/shell/kalorivox" "$work/kalorivox"
for low in 0 1; do
  rm -f "$work"/*.log
  printf '\xEF\xBB\xBF\r\nPort = %s\r\nInterval = 1\r\nLog = 1\r\nCPU_MinUsage = %s\r\n' \
    ttyS0 "$low" >"$work/Kalorivox.ini"
  QT_QPA_PLATFORM=offscreen unshare --mount --propagation private \
    sh -c 'mount --bind "$1" /dev/ttyS0 && exec "$2"' sh "$(readlink -f "$work/bus")" \
    "$work/kalorivox" 2>/dev/null &
  program_pid=$!
  wait_for_readings "$work/DS18B20_Kalorivox.log"
  lines_before=$(wc -l <"$work/DS18B20_Kalorivox.log")
  before=$(cpu_ticks "$program_pid")
  sleep "$seconds"
  after=$(cpu_ticks "$program_pid")
  lines_after=$(wc -l <"$work/DS18B20_Kalorivox.log")
  kill "$program_pid"
  wait "$program_pid" 2>/dev/null || true
  program_pid=
  awk -v low="$low" -v t=$((after - before)) -v hz="$ticks" -v s="$seconds" \
    -v n=$((lines_after - lines_before)) -v lat="$latency" -v k="$sensors" 'BEGIN {
      printf "CPU_MinUsage=%s  latency %s ms  %s sensors: %.2f CPU s in %s s = %.2f %% of a core, %d readings logged\n",
             low, lat, k, t / hz, s, 100 * t / hz / s, n }'
done
