#!/usr/bin/env bash
# Measures the real program: start-up time to a visible window, CPU use while running and
# resident memory. Not a test (timings depend on the machine); the figures go to
# docs/performance.md. Needs Xvfb, xwininfo and GNU time.
#   xvfb-run -a -s "-screen 0 1024x768x24" bash tests/shell/measure_program.sh build/shell/kalorivox [seconds]
set -euo pipefail
program=$(readlink -f "$1")
seconds=${2:-60}
title="DS18B20 Kalorivox v1.1"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

settings() {  # port interval log
  printf '\xEF\xBB\xBF\r\nPort = %s\r\nInterval = %s\r\nLog = %s\r\n' "$1" "$2" "$3" \
    >"$work/Kalorivox.ini"
}

now_ms() { echo $(($(date +%s%N) / 1000000)); }

# Start-up: from the launch to the window being mapped (xwininfo polled every 10 ms, which
# is also the resolution). Polling faster makes Xvfb refuse connections now and then, the
# program's included; such a run is repeated.
startup_once() {
  local start pid attempt
  for attempt in 1 2 3; do
    start=$(now_ms)
    "$work/kalorivox" 2>/dev/null &
    pid=$!
    until xwininfo -name "$title" 2>/dev/null | grep -q IsViewable; do
      kill -0 "$pid" 2>/dev/null || continue 2
      sleep 0.01
    done
    echo $(($(now_ms) - start))
    kill -TERM "$pid"
    wait "$pid"
    return 0
  done
  echo "the program could not show its window (no X display?)" >&2
  exit 1
}

# CPU and memory over a run of the given length, ended with SIGTERM as a logout would.
run_timed() {  # label
  local timepid child
  /usr/bin/time -v -o "$work/time.txt" "$work/kalorivox" 2>/dev/null &
  timepid=$!
  sleep 0.5
  child=$(pgrep -P "$timepid")
  sleep "$seconds"
  kill -TERM "$child"
  wait "$timepid" || true
  awk -v label="$1" -v secs="$seconds" '
    /User time/ {u=$NF} /System time/ {s=$NF} /Maximum resident/ {r=$NF}
    /Elapsed \(wall clock\)/ {split($NF, t, ":"); w = t[1] * 60 + t[2]}
    END {printf "%-28s wall %6.1f s  user %5.2f s  sys %5.2f s  CPU %5.2f %%  max RSS %6.1f MiB\n",
               label, w, u, s, 100 * (u + s) / w, r / 1024}' "$work/time.txt"
}

cp "$program" "$work/kalorivox"
echo "program: $program"
echo "machine: $(nproc) cores, $(uname -r), $(xdpyinfo 2>/dev/null | grep -m1 'vendor string' | sed 's/.*: *//')"

settings "" 1 0
startup_once >/dev/null  # warm the file cache
times=()
for _ in 1 2 3 4 5 6 7; do times+=("$(startup_once)"); done
sorted=$(printf '%s\n' "${times[@]}" | sort -n | tr '\n' ' ')
echo "start-up to visible window, ms (7 runs, sorted): $sorted"

settings "" 1 0
run_timed "no port chosen (idle)"
settings DEMO 1 1
run_timed "DEMO, interval 1 s, log on"
settings DEMO 10 0
run_timed "DEMO, interval 10 s"
