#!/usr/bin/env bash
# The run command of the README: installs what is missing, builds and starts Kalorivox.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/tools/setup.sh"
# Same build folder and options as the test command, but only the program is built.
cmake -S "$root" -B "$root/build" -G Ninja >/dev/null
cmake --build "$root/build" --target kalorivox -j"$(nproc)"
exec "$root/build/shell/kalorivox" "$@"
