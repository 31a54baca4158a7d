#!/usr/bin/env bash
# The daemon's main job, on a demo macOS-style tree of its own: installs what
# is missing, builds, lays out the tree, starts VOZi and the per-user agent on
# it, scans every group, cleans the user's caches, logs, Trash and temporary
# files, prints the cleaning history, shuts the daemon down with "shutdown"
# and checks what is gone and what stays. Runs as root or as a user.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh

build=build/release
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVOZI_TESTS=ON >/dev/null
cmake --build "$build" -j "$(nproc)" --target VOZi vozi-agent vozi-client vozi-demo-tree

demo=$(mktemp -d "${TMPDIR:-/tmp}/vozi-demo.XXXXXX")
if [ "$(id -u)" -eq 0 ]; then user=demo; else user=$(id -un); fi
support="$demo/Library/Application Support/div.ez.iru"
daemon_pid=""
agent_pid=""

stop_started() {
  # Only what this script started, by PID.
  for pid in $agent_pid $daemon_pid; do
    if kill -0 "$pid" 2>/dev/null; then kill "$pid" 2>/dev/null || true; fi
  done
  for pid in $agent_pid $daemon_pid; do wait "$pid" 2>/dev/null || true; done
}
trap stop_started EXIT

fail() {
  echo "run.sh: $*" >&2
  if [ -f "$support/log/VOZi.log" ]; then
    echo "--- the daemon's log, last lines:" >&2
    tail -n 20 "$support/log/VOZi.log" >&2
  fi
  exit 1
}

# Waits up to 20 s for a condition.
wait_for() {
  local what=$1
  shift
  for _ in $(seq 200); do
    if "$@"; then return 0; fi
    sleep 0.1
  done
  fail "gave up waiting for $what"
}

echo "== The demo tree (host root $demo)"
"$build/tests/vozi-demo-tree" "$demo" --files 2000 --user "$user"
# The daemon writes its log only into a file that is already there.
mkdir -p "$support/log"
: >"$support/log/VOZi.log"

export VOZI_ROOT="$demo"
home="$demo/Users/$user"
caches="$home/Library/Caches"
kept="$home/Pictures"

echo "== Starting VOZi and the agent of $user"
"$build/VOZi" &
daemon_pid=$!
socket="$support/div.ez.iru.socket"
wait_for "the daemon's socket" test -S "$socket"
"$build/tools/vozi-agent" --user "$user" </dev/null >/dev/null &
agent_pid=$!
wait_for "the agent to connect" grep -q "setup connection with userAgent" "$support/log/VOZi.log"

client=("$build/tools/vozi-client" --timeout 120)

echo "== Scan of every group"
"${client[@]}" scan all

echo "== Clean of the user's caches, logs, Trash and temporary files"
"${client[@]}" clean userCache userLogs trashBin temporaryFiles

echo "== Cleaning history"
history=$("${client[@]}" history)
echo "$history"

echo "== Shutdown"
"${client[@]}" shutdown
wait "$daemon_pid" || fail "the daemon ended with status $?"
daemon_pid=""

echo "== Checks"
left=$(find "$caches" -type f | wc -l)
[ "$left" -eq 0 ] || fail "$left cache files are still there"
[ -n "$(find "$kept" -type f)" ] || fail "files outside the cleaned groups are gone"
grep -q '"lastCleanedBytes": [1-9]' <<<"$history" || fail "the history shows no cleaned bytes"
[ ! -e "$socket" ] || fail "the socket is still there"
echo "caches emptied, other files kept, history recorded, socket removed: all good"
rm -rf "$demo"
