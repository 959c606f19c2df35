#!/usr/bin/env bash
# tools/format.sh          reformat every C++ file in place with the checked-in .clang-format
# tools/format.sh --check  fail, naming the files, if any C++ file differs from that format
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
command -v clang-format >/dev/null || bash tools/setup.sh
mapfile -t files < <(git ls-files '*.cpp' '*.h' '*.hpp')
if [ "${1:-}" = "--check" ]; then
  clang-format --dry-run -Werror "${files[@]}"
  echo "format: ${#files[@]} files match .clang-format"
else
  clang-format -i "${files[@]}"
fi
