#!/usr/bin/env bash
# What searching while monitoring costs the readings, for an earlier commit's worker and for
# this tree's, side by side in one run (kalorivox-soak --search-cost). The earlier commit is
# built in a temporary worktree with this tree's bench and simulated bus laid over it (the
# bus counts the time of search passes; the bench watches the worker from outside), so that
# both workers are measured by the same code. Not a test: the figures go to
# docs/performance.md.
#   bash tools/soak/compare_search_cost.sh BEFORE-COMMIT [--seconds S] [--latency MS]... [--pty]
# With --pty the cases run in real time through a pseudo-terminal, both workers at once.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
before=$1
shift
seconds=600
latencies=()
pty=()
while [ $# -gt 0 ]; do
  case $1 in
    --seconds) seconds=$2; shift 2 ;;
    --latency) latencies+=("$2"); shift 2 ;;
    --pty) pty=(--pty); shift ;;
    *) echo "compare_search_cost: unknown argument $1" >&2; exit 2 ;;
  esac
done
[ "${#latencies[@]}" -gt 0 ] || latencies=(16 0)

work=$(mktemp -d)
cleanup() {
  git -C "$root" worktree remove --force "$work/before" >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT

git -C "$root" worktree add --detach "$work/before" "$before" >/dev/null 2>&1
for file in sim/sim_bus.h sim/sim_bus.cpp tools/soak/CMakeLists.txt tools/soak/soak_main.cpp \
  tools/soak/soak_run.h tools/soak/search_cost.cpp; do
  cp "$root/$file" "$work/before/$file"
done
# Earlier trees kept the worker's totals in a global record of their own; the bench reads
# them through the accessor of this tree.
header=$work/before/monitor/monitor_worker.h
if ! grep -q MonitorWorkerStatistics "$header"; then
  cat >>"$header" <<'EOF'
#include "monitor/worker_stats.h"
namespace kv {
inline const MonitorStatistics& MonitorWorkerStatistics() { return MonitorStats; }
inline void MonitorWorkerStatisticsReset() { MonitorStatsReset(); }
}  // namespace kv
EOF
fi
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
echo "compare_search_cost: building kalorivox-soak at $before and here" >&2
for tree in "$work/before" "$root"; do
  cmake -S "$tree" -B "$tree/build-search-cost" -G Ninja "${launcher[@]}" >/dev/null
  cmake --build "$tree/build-search-cost" --target kalorivox-soak >/dev/null
done

for latency in "${latencies[@]}"; do
  run() {
    "$1/build-search-cost/tools/soak/kalorivox-soak" --search-cost "$seconds" \
      --latency "$latency" "${pty[@]}"
  }
  if [ "${#pty[@]}" -gt 0 ]; then
    run "$work/before" >"$work/before.txt" &
    run "$root" >"$work/after.txt"
    wait
  else
    run "$work/before" >"$work/before.txt"
    run "$root" >"$work/after.txt"
  fi
  echo "### Before ($(git -C "$root" log -1 --format=%h "$before")), $latency ms"
  cat "$work/before.txt"
  echo
  echo "### After ($(git -C "$root" log -1 --format=%h HEAD)), $latency ms"
  cat "$work/after.txt"
  echo
done
