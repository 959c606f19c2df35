#!/usr/bin/env bash
# The Windows program started again and again under Wine on a COM port that
# kalorivox-simpty serves (nine DS18B20, bytes taking their wire time, the given echo
# latency), each start for a while with logging on, then closed as a user closes it (ended by
# force when it does not close). The simulator notes every stretch of more than a second in
# which the program wrote nothing; the summary gives, per start, the longest stretch without
# a byte, those over a second, and the lines the program logged.
#   bash tools/soak/wine_starts.sh [STARTS] [SECONDS] [LATENCY_MS] [SIMULATOR OPTION...]
#   defaults: 10 starts of 40 s, latency 0; e.g. "... 10 40 16 --noise 0.0005 --stray 0.01"
# KV_WIN32_PROGRAM names another kalorivox.exe than build-win32/kalorivox.exe.
# Needs build/ (bash tools/build.sh build) and build-win32/ (bash tools/win32.sh). The Wine
# prefix build-win32/wine-starts (null graphics driver) is made on first use.
set -euo pipefail
source "$(dirname "$0")/../bench_bus/simulated_bus.sh"
root=$(cd "$(dirname "$0")/../.." && pwd)
starts=${1:-10}
seconds=${2:-40}
latency=${3:-0}
shift $(($# < 3 ? $# : 3))
exe=${KV_WIN32_PROGRAM:-$root/build-win32/kalorivox.exe}
simpty=$root/build/tools/simpty/kalorivox-simpty
for need in "$exe" "$simpty"; do
  [ -e "$need" ] || { echo "wine_starts: $need is missing" >&2; exit 1; }
done
sensors=9
close_limit=10  # seconds a close may take before the program is ended by force

export WINEPREFIX=$root/build-win32/wine-starts WINEARCH=win32 WINEDEBUG=-all
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "wine_starts: making the Wine prefix $WINEPREFIX"
  wineboot -i </dev/null >/dev/null 2>&1
  wineserver -w
fi
wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f </dev/null >/dev/null 2>&1

work=$(mktemp -d)
simpty_pid=
server_pid=
trap stop_wine_bench EXIT

echo "wine_starts: $starts starts of $seconds s, $sensors sensors, latency $latency ms${*:+, $*}"
printf '%-6s %-20s %-20s %s\n' start "longest idle (s)" "stretches over 1 s" "log lines"
worst=0
for start in $(seq "$starts"); do
  run=$work/start-$start
  mkdir -p "$run"
  cp "$exe" "$run/kalorivox.exe"
  printf '\xEF\xBB\xBFPort = COM42\r\nInterval = 1\r\nLog = 1\r\n' >"$run/Kalorivox.ini"
  start_simulated_bus "$simpty" "$sensors" "$latency" "$work/bus" --idle-log "$run/idle.txt" "$@"
  serve_bus_as_com42 "$work/bus"

  (cd "$run" && exec wine ./kalorivox.exe </dev/null >/dev/null 2>&1) &
  program_pid=$!
  sleep "$seconds"
  wine taskkill /im kalorivox.exe </dev/null >/dev/null 2>&1 || true
  forced=""
  for _ in $(seq $((close_limit * 10))); do kill -0 "$program_pid" 2>/dev/null || break; sleep 0.1; done
  if kill -0 "$program_pid" 2>/dev/null; then
    forced=" (ended by force)"
    wine taskkill /f /im kalorivox.exe </dev/null >/dev/null 2>&1 || true
  fi
  wait "$program_pid" 2>/dev/null || true
  kill -TERM "$simpty_pid"
  wait "$simpty_pid" 2>/dev/null || true
  simpty_pid=

  # The simulator's last line: "… the longest stretch without a byte 0.912 s".
  longest=$(sed -n 's/.*the longest stretch without a byte \([0-9.]*\) s$/\1/p' "$run/idle.txt")
  longest=${longest:-none}
  stretches=$(grep -c '^idle ' "$run/idle.txt" || true)
  lines=$([ -f "$run/DS18B20_Kalorivox.log" ] && wc -l <"$run/DS18B20_Kalorivox.log" || echo 0)
  printf '%-6s %-20s %-20s %s%s\n' "$start" "$longest" "$stretches" "$lines" "$forced"
  sed 's/^/         /' "$run/idle.txt"
  if [ "$longest" != none ] && awk -v a="$longest" -v b="$worst" 'BEGIN { exit !(a > b) }'; then
    worst=$longest
  fi
done
echo "wine_starts: the longest stretch without a byte in $starts starts: $worst s"
