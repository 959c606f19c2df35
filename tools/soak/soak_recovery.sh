#!/usr/bin/env bash
# tools/soak/soak_recovery.sh [MINUTES] [BUILD-DIR]: a long run of
# `kalorivox-probe --every 1 --format csv --mqtt` whose adapter is pulled out every two
# minutes and whose bus gains a sensor and loses it again while it runs. The bus is served by
# kalorivox-simpty behind a link; pulling the adapter kills the server (the terminal hangs up
# under the probe), and ten seconds later a new server is started on the same link, its
# sensors a sixteenth of a degree warmer each time, so that a value published after a return
# that belongs to an earlier one is a stale value. The broker is a private mosquitto on a
# loopback port. Every record and every message is stamped when it arrives. Prints:
# - for each return, the time to the next record and to the next published temperature;
# - the time from the sensor's unplug to its availability going offline;
# - passes lost while the bus was up (a gap of more than 1.5 s between two records of a
#   sensor that stayed on the bus, away from the pulls);
# - stale publications: a temperature while the port was gone or the sensor unplugged, or a
#   value of an earlier round;
# - the probe's resident memory every 10 s (first, last, min, max).
# Defaults: 30 minutes, build folder "build".
set -euo pipefail
minutes=${1:-30}
root=$(cd "$(dirname "$0")/../.." && pwd)
build=${2:-$root/build}
probe=$build/probe/kalorivox-probe
simpty=$build/tools/simpty/kalorivox-simpty
work=$(mktemp -d)
pids=()
server=
finish() {
  [ -n "$server" ] && kill "$server" 2>/dev/null || true
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
}
trap finish EXIT
now() { date +%s.%N; }
stamp() { python3 -u -c 'import sys, time
for line in sys.stdin: print(f"{time.time():.3f} {line}", end="", flush=True)'; }

A=28AABB00000001
B=10AABB00000002
C=28AABB00000003
round=0
present=0  # whether C is on the bus
# C is served away and plugged in by SIGUSR1 while it is to be on the bus.
serve() {
  local a b
  a=$(awk -v r="$round" 'BEGIN {printf "%.4f", 21.5 + r * 0.0625}')
  b=$(awk -v r="$round" 'BEGIN {printf "%.1f", 18.0 + r * 0.5}')
  : >"$work/pty.txt"
  "$simpty" --ds18b20 "$A:$a" --ds18s20 "$B:$b" --ds18b20 "$C:30:away" --link "$work/bus" \
    >"$work/pty.txt" 2>>"$work/simpty.err" &
  server=$!
  for _ in $(seq 50); do [ -s "$work/pty.txt" ] && break; sleep 0.1; done
  [ "$present" = 1 ] && kill -USR1 "$server"
  return 0
}

port=$((20000 + RANDOM % 20000))
printf 'listener %d 127.0.0.1\nallow_anonymous true\npersistence false\n' "$port" >"$work/broker.conf"
/usr/sbin/mosquitto -c "$work/broker.conf" >"$work/broker.log" 2>&1 &
pids+=($!)
for _ in $(seq 50); do mosquitto_pub -h 127.0.0.1 -p "$port" -t soak/ready -m x 2>/dev/null && break; sleep 0.2; done
mosquitto_sub -h 127.0.0.1 -p "$port" -t 'kalorivox/#' -F '%t %p' > >(stamp >"$work/messages.txt") &
pids+=($!)
echo "$(now) back $round" >"$work/events.txt"
serve
"$probe" --every 1 --format csv --mqtt "127.0.0.1:$port" "$work/bus" 2>"$work/probe.err" \
  > >(stamp >"$work/records.txt") &
probe_pid=$!
pids+=("$probe_pid")

# Every 2 minutes: pulled at second 60 of the round, back 10 s later. C is plugged in about
# minute 7 and out about minute 19 (scaled down for short runs), each at second 5 of a round,
# away from the pulls, so that its own coming and going is timed.
: >"$work/samples.txt"
plug_at=$((minutes * 60 * 7 / 30 / 120 * 120 + 125))
unplug_at=$((minutes * 60 * 19 / 30 / 120 * 120 + 125))
start=$SECONDS
last_sample=-10
while ((SECONDS - start < minutes * 60)); do
  t=$((SECONDS - start))
  if ((t - last_sample >= 10)); then
    rss=$(awk '/^VmRSS/ {print $2}' "/proc/$probe_pid/status")
    echo "$t $rss" >>"$work/samples.txt"
    last_sample=$t
  fi
  if ((present == 0 && t >= plug_at && t < unplug_at)); then
    kill -USR1 "$server"; present=1; echo "$(now) plugged C" >>"$work/events.txt"
  fi
  if ((present == 1 && t >= unplug_at)); then
    kill -USR1 "$server"; present=2; echo "$(now) unplugged C" >>"$work/events.txt"
  fi
  if ((t % 120 == 60)); then
    # The node goes with the device, as the system removes /dev/ttyUSBn.
    rm -f "$work/bus"
    kill -KILL "$server"; wait "$server" 2>/dev/null || true
    echo "$(now) pulled $round" >>"$work/events.txt"
    sleep 10
    round=$((round + 1))
    echo "$(now) back $round" >>"$work/events.txt"  # the server is started right after
    serve
  fi
  sleep 0.5
done
kill -TERM "$probe_pid"
for _ in $(seq 100); do kill -0 "$probe_pid" 2>/dev/null || break; sleep 0.1; done
sleep 0.5

echo "work folder: $work"
python3 - "$work" "$A" "$B" "$C" <<'EOF'
import sys
work, A, B, C = sys.argv[1], sys.argv[2], sys.argv[3], sys.argv[4]
def rows(name):
    for line in open(f"{work}/{name}", encoding="utf-8"):
        stamp, _, rest = line.rstrip("\n").partition(" ")
        yield float(stamp), rest
events = [(t, e) for t, e in rows("events.txt")]
records = [(t, r.split(",")) for t, r in rows("records.txt") if not r.startswith("time,")]
messages = []
for t, m in rows("messages.txt"):
    topic, _, payload = m.partition(" ")
    messages.append((t, topic, payload))
def rom(fields): return fields[1][:14]
def temps(prefix):
    return [(t, topic, p) for t, topic, p in messages
            if topic.endswith("/temperature") and topic.split("/")[1].startswith(prefix)]

pulls = [t for t, e in events if e.startswith("pulled")]
backs = [(t, int(e.split()[1])) for t, e in events if e.startswith("back")]
print(f"rounds: {len(pulls)} pulls; records {len(records)}; messages {len(messages)}")

# Return to the next record and to the next temperature published.
rec_delays, pub_delays = [], []
for t, k in backs[1:]:
    r = next((rt for rt, f in records if rt > t and f[6] == "ok"), None)
    p = next((mt for mt, topic, pl in temps("") if mt > t and pl), None)
    if r: rec_delays.append(r - t)
    if p: pub_delays.append(p - t)
def stats(xs): return f"min {min(xs):.2f} s, mean {sum(xs)/len(xs):.2f} s, max {max(xs):.2f} s" if xs else "none"
print(f"adapter back -> next CSV record: {stats(rec_delays)} ({len(rec_delays)} returns)")
print(f"adapter back -> next MQTT temperature: {stats(pub_delays)}")

# Unplug of C -> its availability offline.
unplugs = [t for t, e in events if e.startswith("unplugged")]
for u in unplugs:
    off = next((mt for mt, topic, pl in messages if mt > u and topic.endswith("/availability")
                and topic.split("/")[1].startswith(C) and pl == "offline"), None)
    print(f"sensor unplugged -> availability offline: {off - u:.2f} s" if off else "sensor unplugged: no offline seen")
plugs = [t for t, e in events if e.startswith("plugged")]
for p in plugs:
    first = next((rt for rt, f in records if rt > p and rom(f) == C and f[6] == "ok"), None)
    print(f"sensor plugged in -> first record: {first - p:.1f} s" if first else "sensor plugged: never read")

# Up periods: from 3 s after a return to the next pull; the sensors that stayed (A, B).
ups = []
for i, (t, k) in enumerate(backs):
    end = pulls[i] if i < len(pulls) else max(rt for rt, _ in records)
    ups.append((t + 3, end - 0.5))
lost = 0
worst = 0.0
for s in (A, B):
    times = [rt for rt, f in records if rom(f) == s]
    for lo, hi in ups:
        inside = [x for x in times if lo <= x <= hi]
        for x, y in zip(inside, inside[1:]):
            worst = max(worst, y - x)
            if y - x > 1.5: lost += round(y - x) - 1
print(f"passes lost while the bus was up: {lost} (largest gap between two records of a sensor: {worst:.2f} s)")

# Stale: a temperature while the port was gone (after the pull plus the pass under way, until
# the return), of C while unplugged, or a value of an earlier round.
stale = []
downs = list(zip(pulls, [t for t, _ in backs[1:]]))
for mt, topic, pl in temps(""):
    if not pl: continue
    if any(lo + 1.5 < mt < hi for lo, hi in downs): stale.append((mt, topic, pl, "port gone"))
for u in unplugs:
    later = [p for p in plugs if p > u]
    for mt, topic, pl in temps(C):
        if pl and mt > u + 2.5 and (not later or mt < later[0]): stale.append((mt, topic, pl, "unplugged"))
for mt, topic, pl in temps(A):
    if not pl: continue
    k = max(kk for t, kk in backs if t <= mt)
    expected = 21.5 + k * 0.0625
    if abs(float(pl) - expected) > 1e-9: stale.append((mt, topic, pl, f"round {k} expects {expected}"))
print(f"stale temperatures published: {len(stale)}")
for s in stale[:10]: print("  ", s)
EOF
awk 'NR == 1 {f = $2; mn = $2; mx = $2} {if ($2 < mn) mn = $2; if ($2 > mx) mx = $2; l = $2; n = NR}
  END {printf "memory (VmRSS kB): first %d, last %d, min %d, max %d (%d samples, 10 s apart)\n", f, l, mn, mx, n}' \
  "$work/samples.txt"
echo "probe messages:"; sed 's/^/  /' "$work/probe.err" | sort | uniq -c | sort -rn | head -20
