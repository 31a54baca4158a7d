#!/usr/bin/env bash
# The daemon's full scan against `du -sb` of the same tree, and its memory.
#
# Lays out a demo tree of 100,000 cache files, starts VOZi and the agent on
# it, and times, interleaved over five rounds, `du -sb` of the tree (the
# physical floor of a walk that reads every entry's size) and a scan of every
# group through vozi-client (walk, items, the store's save, the reply). The
# tree is walked once first so both run warm. Prints the medians, their
# ratio (target: at most 3), and the daemon's VmRSS idle with the agent
# connected (target: under 20 MB), right after the scans and once it has
# handed their memory back.
set -euo pipefail
cd "$(dirname "$0")/.."

files=${FILES:-100000}
rounds=5
build=build/release
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVOZI_TESTS=ON >/dev/null
cmake --build "$build" --target VOZi vozi-agent vozi-client vozi-demo-tree >/dev/null

source scripts/demo-session.sh
trap 'demo_stop; rm -rf "$demo"' EXIT
demo_start "$build" "$files" >/dev/null
rss() { awk '/VmRSS/ {print $2 / 1024 " MB"}' "/proc/$daemon_pid/status"; }
idle=$(rss)

seconds() {
  local start end
  start=$(date +%s%N)
  "$@" >/dev/null 2>&1
  end=$(date +%s%N)
  awk -v ns=$((end - start)) 'BEGIN {printf "%.4f\n", ns / 1e9}'
}
median() { sort -g | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
du -sb "$demo" >/dev/null
du_times=()
scan_times=()
for _ in $(seq "$rounds"); do
  du_times+=("$(seconds du -sb "$demo")")
  scan_times+=("$(seconds "$build/tools/vozi-client" --json --timeout 600 scan all)")
done
du_median=$(printf '%s\n' "${du_times[@]}" | median)
scan_median=$(printf '%s\n' "${scan_times[@]}" | median)
echo "files: $files"
echo "du -sb median: $du_median s"
echo "scan of every group, median: $scan_median s"
echo "ratio scan / du: $(awk -v a="$scan_median" -v b="$du_median" 'BEGIN {printf "%.2f", a / b}') (target: at most 3)"
echo "VmRSS idle, agent connected: $idle (target: under 20 MB)"
echo "VmRSS right after the scans: $(rss)"
# The daemon keeps a request's memory for 5 s for a next one, then hands it back.
sleep 6
echo "VmRSS 6 s after the scans: $(rss)"
"$build/tools/vozi-client" shutdown >/dev/null
