#!/usr/bin/env bash
# The Windows command of the README: installs what is missing, cross-builds the 32-bit
# Windows program with mingw-w64 into build-win32/ (build-win32/kalorivox.exe).
#   tools/win32.sh          build
#   tools/win32.sh --test   build with the tests and run them under Wine
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir=$root/build-win32
run_tests=0
[ "${1:-}" = "--test" ] && run_tests=1

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO=sudo
apt_get() {
  # Others on the machine may be running apt: wait for its lock instead of failing.
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get -o DPkg::Lock::Timeout=600 "$@"
}

packages=(cmake ninja-build googletest g++-mingw-w64-i686-posix wine wine32:i386 xvfb fonts-wine)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "win32: installing ${missing[*]}"
  # wine32 is a 32-bit package: the machine has to accept i386 packages first.
  dpkg --print-foreign-architectures | grep -qx i386 || $SUDO dpkg --add-architecture i386
  apt_get update -qq
  apt_get install -y -qq --no-install-recommends "${missing[@]}"
fi

tests=OFF
((run_tests)) && tests=ON
bash "$root/tools/build.sh" "$dir" \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-i686-w64-mingw32.cmake" -DKV_BUILD_TESTS=$tests
[ -f "$dir/kalorivox.exe" ] && echo "win32: program at $dir/kalorivox.exe"
((run_tests)) || exit 0

# The window tests need a screen: without one, the tests run on a virtual X server.
if [ -z "${DISPLAY:-}" ] && [ -z "${KV_WIN32_XVFB:-}" ] && command -v xvfb-run >/dev/null; then
  KV_WIN32_XVFB=1 exec xvfb-run -a -s "-screen 0 1280x1024x24" bash "$0" "$@"
fi

# The tests run in the build folder's own 32-bit prefix, made once (about 10 s and 600 MB).
export WINEPREFIX=$dir/wine-prefix WINEARCH=win32 WINEDEBUG=-all
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "win32: making the Wine prefix $WINEPREFIX"
  wineboot -i </dev/null >"$dir/wineboot.log" 2>&1
  wineserver -w  # the registry reaches the disk when the server ends
fi
# Window tests need no X server: Wine's null graphics driver gives windows without a screen.
wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f </dev/null >/dev/null 2>&1
# Wine's background services must not inherit ctest's pipes, or every test waits for them
# (or hangs): start the server and the services first, with no pipes attached.
# (A server that already runs for this prefix makes the first call fail harmlessly.)
wineserver -p </dev/null >/dev/null 2>&1 || true
wine cmd /c exit </dev/null >"$dir/wine-start.log" 2>&1 || true

# The serial tests talk to real COM ports: Linux pseudo-terminals that Wine maps through
# links in dosdevices (made after the services started, which rewrite the links they know).
# COM40 is an echo peer; COM41 a simulated bus of kalorivox-simpty from the Linux build
# (built here when missing), serving the two thermometers the test expects.
ports=$(mktemp -d)
peer_pid=
simpty_pid=
cleanup() {
  [ -n "$peer_pid" ] && kill "$peer_pid" 2>/dev/null
  [ -n "$simpty_pid" ] && kill "$simpty_pid" 2>/dev/null
  rm -f "$WINEPREFIX/dosdevices/com40" "$WINEPREFIX/dosdevices/com41"
  rm -rf "$ports"
  WINEPREFIX=$WINEPREFIX wineserver -k >/dev/null 2>&1 || true
}
trap cleanup EXIT
python3 "$root/tests/serial/win32/echo_peer.py" "$ports/echo" </dev/null &
peer_pid=$!
simpty=$root/build/tools/simpty/kalorivox-simpty
if [ ! -x "$simpty" ]; then
  echo "win32: building kalorivox-simpty (Linux) for the COM port tests"
  { cmake -S "$root" -B "$root/build" -G Ninja -DKV_BUILD_TESTS=ON &&
    cmake --build "$root/build" --target kalorivox-simpty; } >"$dir/simpty-build.log" 2>&1 || true
fi
if [ -x "$simpty" ]; then
  "$simpty" --wire-time --ds18b20 28A1B2C3D4E5F6:21.5 --ds18s20 10112233445566:-10 \
    --link "$ports/bus" </dev/null >/dev/null &
  simpty_pid=$!
fi
for _ in $(seq 50); do
  [ -L "$ports/echo" ] && { [ -z "$simpty_pid" ] || [ -L "$ports/bus" ]; } && break
  sleep 0.1
done
ln -sfn "$ports/echo" "$WINEPREFIX/dosdevices/com40"
export KV_WIN32_ECHO_PORT=COM40
if [ -n "$simpty_pid" ] && [ -L "$ports/bus" ]; then
  ln -sfn "$ports/bus" "$WINEPREFIX/dosdevices/com41"
  export KV_WIN32_BUS_PORT=COM41
else
  echo "win32: no kalorivox-simpty: the bus case over a COM port is skipped"
fi

started=$(date +%s)
status=0
if ! ctest --test-dir "$dir" --output-on-failure -j"$(nproc)"; then
  # Tests that race real echo limits can miss them on a loaded machine: run the failed ones
  # once more, one at a time; the run fails only if they fail again.
  echo "win32: running the failed tests again, one at a time"
  ctest --test-dir "$dir" --output-on-failure --rerun-failed || status=$?
fi
log=$dir/Testing/Temporary/LastTest.log
if [ -f "$log" ]; then
  echo "win32: test cases per program under Wine:"
  awk '/^[0-9]+\/[0-9]+ Testing: /{name=$3} /^\[  PASSED  \]/{print "  " name ": " $4 " passed"} /^\[  FAILED  \] [0-9]+ test/{print "  " name ": " $4 " FAILED"}' "$log"
fi
echo "win32: tests took $(($(date +%s) - started)) s"
exit $status
