# Sourced by the benches that run a program against simulated thermometers on a pty.
# start_simulated_bus SIMPTY SENSORS LATENCY_MS LINK: starts kalorivox-simpty in the background
# with SENSORS DS18B20 of distinct codes at 20–29 °C, sets simpty_pid and waits (at most 5 s)
# for the pty link to appear.
start_simulated_bus() {
  local simpty=$1 sensors=$2 latency=$3 link=$4 devices=() i
  for ((i = 0; i < sensors; i++)); do
    devices+=(--ds18b20 "$(printf '28%012X' $(((i + 1) * 0x1F3A5C7E9B1 % 0xFFFFFFFFFFFF))):2$((i % 10))")
  done
  "$simpty" --wire-time --latency "$latency" "${devices[@]}" --link "$link" </dev/null >/dev/null &
  simpty_pid=$!
  for _ in $(seq 50); do [ -L "$link" ] && break; sleep 0.1; done
}
