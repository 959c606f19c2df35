#!/usr/bin/env bash
# tools/build.sh <build-dir> [extra cmake arguments...]: configure (once) and build.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir=$1; shift
cmake -S "$root" -B "$dir" -G Ninja "$@" >/dev/null
cmake --build "$dir" -j"$(nproc)"
