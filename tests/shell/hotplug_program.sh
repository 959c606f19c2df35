#!/usr/bin/env bash
# The real program (Qt offscreen) alone in a temporary folder, its settings naming a link to
# the pty tool's terminal, logging on. Prints the seconds until readings reach the log.
#   A: the adapter is pulled (the tool stopped) and plugged back on the same link 3 s later.
#   B: the tool is started 3 s after the program (the saved port absent at start-up).
# Not a test (timings depend on the machine):
#   bash tests/shell/hotplug_program.sh build A     (or B)
set -u
build=$(readlink -f "$1")
dir=$(mktemp -d)
cp "$build/shell/kalorivox" "$dir/"
link="$dir/kv-bus"
printf 'Port = %s\r\nInterval = 1\r\nLog = 1\r\n' "$link" > "$dir/Kalorivox.ini"
log="$dir/DS18B20_Kalorivox.log"
lines() { [ -f "$log" ] && wc -l < "$log" || echo 0; }
wait_more() {  # $1 = line count to exceed; prints elapsed seconds or TIMEOUT
  local start=$(date +%s.%N)
  for i in $(seq 1 300); do
    if [ "$(lines)" -gt "$1" ]; then echo "$(echo "$(date +%s.%N) - $start" | bc)"; return; fi
    sleep 0.1
  done
  echo TIMEOUT
}
sim=$build/tools/simpty/kalorivox-simpty
case $2 in
A)
  "$sim" --ds18b20 28AABBCCDDEE00:21.5 --link "$link" > "$dir/sim1.out" & simpid=$!
  sleep 1
  QT_QPA_PLATFORM=offscreen "$dir/kalorivox" & prog=$!
  echo "first readings after start: $(wait_more 0) s"
  kill $simpid; wait $simpid 2>/dev/null
  sleep 3
  n=$(lines)
  "$sim" --ds18b20 28AABBCCDDEE00:22.5 --link "$link" > "$dir/sim2.out" & simpid=$!
  echo "readings after the tool restarted: $(wait_more "$n") s"
  ;;
B)
  QT_QPA_PLATFORM=offscreen "$dir/kalorivox" & prog=$!
  sleep 3
  "$sim" --ds18b20 28AABBCCDDEE00:21.5 --link "$link" > "$dir/sim1.out" & simpid=$!
  echo "readings after the tool started (3 s after the program): $(wait_more 0) s"
  ;;
esac
sleep 1.5
kill $prog; wait $prog 2>/dev/null
kill $simpid; wait $simpid 2>/dev/null
echo "--- settings:"; cat "$dir/Kalorivox.ini" | tr -d '\r' | head -2
echo "--- last log lines:"; tail -n 3 "$log" | tr -d '\r'
rm -rf "$dir"
