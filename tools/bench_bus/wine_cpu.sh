#!/usr/bin/env bash
# CPU use of the Windows serial code monitoring a bus under Wine: kalorivox-simpty (Linux
# build, wire time on, the given echo latency) serves the sensors on a pseudo-terminal that
# Wine maps as COM42; kv_bench_wait (Windows build) measures them every second, with the
# device's sleeping wait and with the earlier 1 ms polling (--polled), in both settings of
# CPU_MinUsage, one after the other. For each run it prints the CPU time (utime + stime from
# /proc) of the program and of the Wine server, which carries every driver call of the
# program, over the measured seconds (the search before them left out), and how often the
# program's threads were switched out (voluntary and forced), i.e. woke up again. Not a test: the figures go to docs/performance.md.
#   bash tools/bench_bus/wine_cpu.sh [seconds] [latency-ms] [sensors]
# Needs build/ (bash tools/build.sh build) and build-win32/ (bash tools/win32.sh --test).
set -euo pipefail
source "$(dirname "$0")/simulated_bus.sh"
root=$(cd "$(dirname "$0")/../.." && pwd)
seconds=${1:-30}
latency=${2:-16}
sensors=${3:-10}
simpty=$root/build/tools/simpty/kalorivox-simpty
bench=$root/build-win32/tools/bench_bus/kv_bench_wait.exe
[ -x "$simpty" ] || { echo "wine_cpu: no $simpty"; exit 1; }
[ -f "$bench" ] || { echo "wine_cpu: no $bench"; exit 1; }
export WINEPREFIX=$root/build-win32/wine-prefix WINEARCH=win32 WINEDEBUG=-all
[ -f "$WINEPREFIX/system.reg" ] || { echo "wine_cpu: no Wine prefix (tools/win32.sh --test)"; exit 1; }

work=$(mktemp -d)
simpty_pid=
server_pid=
trap stop_wine_bench EXIT

start_simulated_bus "$simpty" "$sensors" "$latency" "$work/bus"
serve_bus_as_com42 "$work/bus"

ticks=$(getconf CLK_TCK)
# Context switches of all the process's threads: how often it went to sleep and woke.
switches() {
  cat /proc/"$1"/task/*/status 2>/dev/null |
    awk '/^(non)?voluntary_ctxt_switches/ {n += $2} END {print n + 0}'
}
cpu_ticks() { awk '{print $14 + $15}' "/proc/$1/stat" 2>/dev/null || echo 0; }  # utime + stime

for low in "" --low-cpu; do
  for mode in --polled ""; do
    # shellcheck disable=SC2086
    wine "$bench" COM42 "$seconds" $mode $low </dev/null >"$work/out" 2>&1 &
    bench_pid=$!
    # The search comes first; both processes are measured over the bench's measured seconds.
    for _ in $(seq 1200); do grep -q '^measuring' "$work/out" && break; sleep 0.1; done
    bench_before=$(cpu_ticks "$bench_pid")
    switches_before=$(switches "$bench_pid")
    server_before=$(cpu_ticks "$server_pid")
    started=$(date +%s.%N)
    for _ in $(seq $((seconds * 100 + 6000))); do grep -q '^measured' "$work/out" && break; sleep 0.01; done
    bench_after=$(cpu_ticks "$bench_pid")
    switches_after=$(switches "$bench_pid")
    server_after=$(cpu_ticks "$server_pid")
    ended=$(date +%s.%N)
    wait "$bench_pid" || true
    line=$(grep '^measured' "$work/out" | tr -d '\r' | sed 's/^measured //')
    awk -v line="$line" -v b=$((bench_after - bench_before)) -v w=$((server_after - server_before)) \
      -v c=$((switches_after - switches_before)) \
      -v hz="$ticks" -v a="$started" -v e="$ended" -v lat="$latency" 'BEGIN { s = e - a
        printf "latency %s ms  %s\n    program %.2f CPU s = %.2f %% of a core, %.0f wake-ups/s;  Wine server %.2f CPU s = %.2f %%\n",
               lat, line, b / hz, 100 * b / hz / s, c / s, w / hz, 100 * w / hz / s }'
  done
done
