#!/usr/bin/env bash
# tools/soak/soak_mqtt.sh [SECONDS] [NOISE] [BUILD-DIR]: a long run of
# `kalorivox-probe --every 1 --mqtt` against the demo bus served by kalorivox-simpty with
# every echoed bit flipping at probability NOISE, publishing to a private mosquitto on a
# loopback port. Records every message the broker delivers and samples the probe's memory
# and CPU time; then checks every published value against the demo sensors' drift (a value
# outside its sensor's range, or a jump no drift can make in a second, is a wrong value)
# and prints the figures. Defaults: 600 s, noise 0.002, build folder "build".
set -euo pipefail
seconds=${1:-600}
noise=${2:-0.002}
root=$(cd "$(dirname "$0")/../.." && pwd)
build=${3:-$root/build}
probe=$build/probe/kalorivox-probe
simpty=$build/tools/simpty/kalorivox-simpty
work=$(mktemp -d)
pids=()
finish() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
}
trap finish EXIT

port=$((20000 + RANDOM % 20000))
printf 'listener %d 127.0.0.1\nallow_anonymous true\npersistence false\n' "$port" >"$work/broker.conf"
/usr/sbin/mosquitto -c "$work/broker.conf" >"$work/broker.log" 2>&1 &
pids+=($!)
"$simpty" --noise "$noise" >"$work/pty.txt" &
pids+=($!)
for _ in $(seq 50); do
  [ -s "$work/pty.txt" ] && mosquitto_pub -h 127.0.0.1 -p "$port" -t soak/ready -m x 2>/dev/null && break
  sleep 0.2
done
pty=$(head -n1 "$work/pty.txt")
mosquitto_sub -h 127.0.0.1 -p "$port" -t 'kalorivox/#' -F '%U %t %p' >"$work/messages.txt" &
pids+=($!)
sleep 0.5
"$probe" --every 1 --format tsv --mqtt "127.0.0.1:$port" "$pty" >"$work/records.tsv" 2>"$work/probe.err" &
probe_pid=$!
pids+=("$probe_pid")

# Resident memory (kB) and CPU time (clock ticks) of the probe every 10 s.
ticks=$(getconf CLK_TCK)
end=$((SECONDS + seconds))
: >"$work/samples.txt"
while ((SECONDS < end)); do
  rss=$(awk '/^VmRSS/ {print $2}' "/proc/$probe_pid/status")
  cpu=$(awk '{print $14 + $15}' "/proc/$probe_pid/stat")
  echo "$SECONDS $rss $cpu" >>"$work/samples.txt"
  sleep 10
done
kill -TERM "$probe_pid"
wait "$probe_pid" && status=0 || status=$?
sleep 0.5

echo "work folder: $work"
echo "probe exit status after SIGTERM: $status"
awk -v ticks="$ticks" '
  NR == 1 { firstRss = $2; firstCpu = $3; maxRss = $2; minRss = $2 }
  { if ($2 > maxRss) maxRss = $2; if ($2 < minRss) minRss = $2; lastRss = $2; lastCpu = $3; n = NR }
  NR == 2 { secondRss = $2 }
  END {
    printf "memory (VmRSS kB): first %d, after 10 s %d, last %d, min %d, max %d (%d samples)\n",
      firstRss, secondRss, lastRss, minRss, maxRss, n
    printf "cpu time: %.2f s\n", (lastCpu - firstCpu) / ticks
  }' "$work/samples.txt"
passes=$(awk -F'\t' '{print $1}' "$work/records.tsv" | sort -u | wc -l)
cpu_s=$(awk -v ticks="$ticks" 'NR == 1 {f = $3} {l = $3} END {printf "%.4f", (l - f) / ticks}' "$work/samples.txt")
echo "passes (distinct record times): $passes; CPU per pass: $(awk -v c="$cpu_s" -v p="$passes" 'BEGIN {printf "%.2f ms", p ? 1000 * c / p : 0}')"
awk -F'\t' '{states[$7]++} END {for (s in states) printf "records in state %s: %d\n", s, states[s]}' "$work/records.tsv" | sort
echo "probe messages:"; sed 's/^/  /' "$work/probe.err"

# Every published temperature against its demo sensor: set value and drift amplitude by
# serial number (ROM bytes 6 down to 1), the step of the family, and the largest change a
# drift can make between two passes.
awk '
  BEGIN {
    c["0417A3C41EFF"] = 21.5;  a["0417A3C41EFF"] = 0.8; p["0417A3C41EFF"] = 420
    c["0316B2A07C5E"] = 23.25; a["0316B2A07C5E"] = 0.5; p["0316B2A07C5E"] = 660
    c["0000075A91D4"] = 19.75; a["0000075A91D4"] = 1.2; p["0000075A91D4"] = 300
    c["0008021B6F3A"] = 22.0;  a["0008021B6F3A"] = 0.6; p["0008021B6F3A"] = 540
  }
  $2 ~ /\/temperature$/ {
    split($2, parts, "/"); rom = parts[2]
    serial = ""; for (i = 13; i >= 3; i -= 2) serial = serial substr(rom, i, 2)
    step = substr(rom, 1, 2) == "10" ? 0.5 : 0.0625
    v = $3 + 0; t = $1 + 0; n++
    if (!(serial in c)) { bad++; print "unknown sensor: " $0; next }
    if (v < c[serial] - a[serial] - step || v > c[serial] + a[serial] + step) {
      bad++; print "outside the sensor range: " $0
    }
    if (rom in last) {
      slope = 6.2832 * a[serial] / p[serial]
      if (v - last[rom] > 2 * step + slope * (t - when[rom]) + 1e-9 ||
          last[rom] - v > 2 * step + slope * (t - when[rom]) + 1e-9) {
        bad++; print "jump no drift can make: " last[rom] " -> " $0
      }
    }
    last[rom] = v; when[rom] = t
  }
  END { printf "published temperatures: %d, wrong: %d\n", n, bad + 0 }' "$work/messages.txt"
