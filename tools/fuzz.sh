#!/usr/bin/env bash
# Fuzzes the settings file parser with libFuzzer (clang, AddressSanitizer, UBSan).
#   bash tools/fuzz.sh                 run until stopped (Ctrl-C), corpus kept in build-fuzz/corpus
#   bash tools/fuzz.sh --time 600      run for 600 seconds
#   bash tools/fuzz.sh --ci            short bounded run (about a minute including the build)
# Exits non-zero when the fuzzer finds a crash; the crashing input is left in build-fuzz/.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir=$root/build-fuzz
seconds=0
case "${1:-}" in
  --ci) seconds=40 ;;
  --time) seconds=${2:?--time needs a number of seconds} ;;
  "") ;;
  *) echo "usage: $0 [--ci | --time SECONDS]" >&2; exit 2 ;;
esac

# Only the fuzz targets are configured and built (the same target also builds inside the
# whole tree with -DKV_FUZZ=ON).
CC=clang CXX=clang++ cmake -S "$root/tools/fuzz" -B "$dir" -G Ninja \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$dir" --target kv_fuzz_ini -j2

# Seeds: the shapes a settings file takes, good and bad.
corpus=$dir/corpus
seeds=$dir/seeds
mkdir -p "$corpus" "$seeds"
printf '\xEF\xBB\xBF\r\nPort = COM3\r\nInterval = 5\r\n' >"$seeds/saved"
printf 'interval\t=\t12abc\nPort\n[Group]\nPort = x\n; note\n=v\n' >"$seeds/rules"
printf 'Name = caf\xE9\r\r\n\n;x\r[a]b]\r' >"$seeds/latin1"
printf '\xEF\xBB\xBF' >"$seeds/mark-only"

args=(-max_len=65536 -timeout=10 -rss_limit_mb=2048 -print_final_stats=1
      -artifact_prefix="$dir/")
if [ "$seconds" -gt 0 ]; then args+=(-max_total_time="$seconds"); fi
cd "$dir"
exec ./kv_fuzz_ini "${args[@]}" "$corpus" "$seeds"
