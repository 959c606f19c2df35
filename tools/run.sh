#!/usr/bin/env bash
# The run command of the README: installs what the window program needs, builds it and starts
# it. Only the program is built, in the test command's build folder; the tests are left out
# until the test command (or anyone) has configured the folder with them.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/tools/setup.sh" window
options=()
[ -f "$root/build/CMakeCache.txt" ] || options=(-DKV_BUILD_TESTS=OFF)
cmake -S "$root" -B "$root/build" -G Ninja "${options[@]}" >/dev/null
cmake --build "$root/build" --target kalorivox -j"$(nproc)"
exec "$root/build/shell/kalorivox" "$@"
