# Sourced by the benches that run a program against simulated thermometers on a pty.
# start_simulated_bus SIMPTY SENSORS LATENCY_MS LINK [OPTION...]: starts kalorivox-simpty in
# the background with SENSORS DS18B20 of distinct codes at 20–29 °C and the further simulator
# options given, sets simpty_pid and waits (at most 5 s) for the pty link to appear.
start_simulated_bus() {
  local simpty=$1 sensors=$2 latency=$3 link=$4 devices=() i
  shift 4
  for ((i = 0; i < sensors; i++)); do
    devices+=(--ds18b20 "$(printf '28%012X' $(((i + 1) * 0x1F3A5C7E9B1 % 0xFFFFFFFFFFFF))):2$((i % 10))")
  done
  "$simpty" --wire-time --latency "$latency" "${devices[@]}" --link "$link" "$@" \
    </dev/null >/dev/null &
  simpty_pid=$!
  for _ in $(seq 50); do [ -L "$link" ] && break; sleep 0.1; done
}

# wait_for_readings LOG: waits (at most 60 s) until the program has logged its first readings,
# then 2 s more, so that the search before them is not measured.
wait_for_readings() {
  for _ in $(seq 600); do
    [ -s "$1" ] && break
    sleep 0.1
  done
  sleep 2
}

# serve_bus_as_com42 LINK: a Wine server of our own for $WINEPREFIX, in the foreground so that
# its CPU time can be read (sets server_pid), and the pty at LINK as COM42: a link in the
# prefix and an entry in the registry's serial device map, as Wine makes them for a port.
serve_bus_as_com42() {
  wineserver -k >/dev/null 2>&1 || true
  wineserver -f -p </dev/null >/dev/null 2>&1 &
  server_pid=$!
  wine cmd /c exit </dev/null >/dev/null 2>&1 || true
  ln -sfn "$1" "$WINEPREFIX/dosdevices/com42"
  wine reg add 'HKLM\HARDWARE\DEVICEMAP\SERIALCOMM' /v KalorivoxBench /d COM42 /f \
    </dev/null >/dev/null 2>&1
}

# stop_wine_bench: ends what serve_bus_as_com42 and start_simulated_bus started and removes
# the folder $work.
stop_wine_bench() {
  [ -n "${simpty_pid:-}" ] && kill "$simpty_pid" 2>/dev/null
  rm -f "$WINEPREFIX/dosdevices/com42"
  WINEPREFIX=$WINEPREFIX wineserver -k >/dev/null 2>&1 || true
  [ -n "${server_pid:-}" ] && wait "$server_pid" 2>/dev/null
  rm -rf "$work"
}
