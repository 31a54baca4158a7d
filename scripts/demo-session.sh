# Sourced by the main job and the daemon's benchmark: a demo tree with VOZi
# and the per-user agent running on it.
#
#   demo_start BUILD FILES   lays out a tree of FILES cache files in a new
#                            temporary folder ($demo), exports VOZI_ROOT, starts
#                            the daemon ($daemon_pid) and the agent of $user
#                            ($agent_pid) and waits until both are up
#   demo_stop                stops what demo_start started, by PID

demo=""
user=""
support=""
socket=""
daemon_pid=""
agent_pid=""

demo_fail() {
  echo "$0: $*" >&2
  if [ -f "$support/log/VOZi.log" ]; then
    echo "--- the daemon's log, last lines:" >&2
    tail -n 20 "$support/log/VOZi.log" >&2
  fi
  exit 1
}

# Waits up to 20 s for a condition.
demo_wait_for() {
  local what=$1
  shift
  for _ in $(seq 200); do
    if "$@"; then return 0; fi
    sleep 0.1
  done
  demo_fail "gave up waiting for $what"
}

demo_start() {
  local build=$1 files=$2
  demo=$(mktemp -d "${TMPDIR:-/tmp}/vozi-demo.XXXXXX")
  if [ "$(id -u)" -eq 0 ]; then user=demo; else user=$(id -un); fi
  support="$demo/Library/Application Support/div.ez.iru"
  socket="$support/div.ez.iru.socket"
  "$build/tests/vozi-demo-tree" "$demo" --files "$files" --user "$user"
  # The daemon writes its log only into a file that is already there.
  mkdir -p "$support/log"
  : >"$support/log/VOZi.log"
  export VOZI_ROOT="$demo"
  # Its standard output (walk counts) goes beside the tree; errors stay here.
  "$build/VOZi" >"$demo/VOZi.stdout" &
  daemon_pid=$!
  demo_wait_for "the daemon's socket" test -S "$socket"
  "$build/tools/vozi-agent" --user "$user" </dev/null >/dev/null &
  agent_pid=$!
  demo_wait_for "the agent to connect" grep -q "setup connection with userAgent" "$support/log/VOZi.log"
}

demo_stop() {
  for pid in $agent_pid $daemon_pid; do
    if kill -0 "$pid" 2>/dev/null; then kill "$pid" 2>/dev/null || true; fi
  done
  for pid in $agent_pid $daemon_pid; do wait "$pid" 2>/dev/null || true; done
  agent_pid=""
  daemon_pid=""
}
