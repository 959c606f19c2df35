#!/usr/bin/env bash
# The run command of the README: installs what is missing, builds and starts Kalorivox.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/tools/setup.sh"
bash "$root/tools/build.sh" "$root/build" -DKV_BUILD_TESTS=OFF
exec "$root/build/shell/kalorivox" "$@"
