#!/usr/bin/env bash
# tools/house_figures.sh [REV...]: for each revision (default: the working tree), the figures
# of how the house is kept: the lines of the window's worker and of the probe's run loop, the
# module include graph and its check, and how many pairs of places repeat six or more lines
# (`duplicates`). A revision is looked at in a temporary worktree, removed afterwards.
#   bash tools/house_figures.sh 50c16da HEAD
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d)
cleanup() {
  for tree in "$work"/*/; do
    [ -d "$tree" ] && git -C "$root" worktree remove --force "$tree" >/dev/null 2>&1 || true
  done
  rm -rf "$work"
}
trap cleanup EXIT

figures() {
  local tree=$1
  echo "lines:"
  for file in monitor/monitor_worker.cpp probe/probe_run.cpp; do
    if [ -f "$tree/$file" ]; then
      printf '  %5d %s\n' "$(wc -l <"$tree/$file")" "$file"
    else
      printf '  %5s %s\n' - "$file"
    fi
  done
  echo "include graph:"
  if python3 "$tree/tools/include_graph.py" --check >"$work/graph.txt" 2>&1; then
    sed 's/^/  /' "$work/graph.txt"
    echo "  check: passed"
  else
    sed 's/^/  /' "$work/graph.txt"
    echo "  check: FAILED"
  fi
  if command -v duplicates >/dev/null; then
    echo "repeated code: $(duplicates --repo "$tree" --seconds 120 | head -1)"
  fi
}

[ $# -gt 0 ] || set -- ""
for rev in "$@"; do
  if [ -z "$rev" ]; then
    echo "## working tree"
    figures "$root"
  else
    tree=$work/$(git -C "$root" rev-parse --short "$rev")
    git -C "$root" worktree add --detach "$tree" "$rev" >/dev/null 2>&1
    echo "## $(git -C "$root" log -1 --format='%h %s' "$rev" | cut -c1-80)"
    figures "$tree"
  fi
  echo
done
