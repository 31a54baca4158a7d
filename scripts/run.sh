#!/usr/bin/env bash
# The daemon's main job, on a demo macOS-style tree of its own: installs what
# is missing, builds, lays out the tree, starts VOZi and the per-user agent on
# it, scans every group, cleans the user's caches, logs, Trash, temporary
# files and mail attachments and uninstalls the applications found, prints
# the cleaning history, shuts the daemon down with "shutdown" and checks
# what is gone and what stays. Runs as root or as a user.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/demo-session.sh

bash scripts/install-deps.sh

build=build/release
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVOZI_TESTS=ON >/dev/null
cmake --build "$build" -j "$(nproc)" --target VOZi vozi-agent vozi-client vozi-demo-tree

trap demo_stop EXIT
echo "== The demo tree, the daemon and the agent"
demo_start "$build" 2000
echo "host root $demo, user $user"
caches="$demo/Users/$user/Library/Caches"
kept="$demo/Users/$user/Pictures"
client=("$build/tools/vozi-client" --timeout 120)

echo "== Scan of every group (duplicates searched in the user's home)"
"${client[@]}" --folder "$demo/Users/$user" scan all

echo "== Clean of the user's caches, logs, Trash, temporary files and mail attachments, and uninstall of the applications (the groups as stored afterwards)"
"${client[@]}" clean userCache userLogs trashBin temporaryFiles mailAttachments applications

echo "== Cleaning history"
history=$("${client[@]}" history)
echo "$history"

echo "== Shutdown"
"${client[@]}" shutdown
status=0
wait "$daemon_pid" || status=$?
daemon_pid=""
[ "$status" -eq 0 ] || demo_fail "the daemon ended with status $status"

echo "== Checks"
left=$(find "$caches" -type f | wc -l)
[ "$left" -eq 0 ] || demo_fail "$left cache files are still there"
[ -n "$(find "$kept" -type f)" ] || demo_fail "files outside the cleaned groups are gone"
[ -z "$(find "$demo/Users/$user/.Trash" -type f)" ] || demo_fail "the Trash still holds files"
for gone in "$demo/Applications/Demo Editor.app" "$demo/Users/$user/Library/Preferences/com.demo.editor.plist"; do
  [ ! -e "$gone" ] || demo_fail "the uninstalled application left $gone"
done
mail="$demo/Users/$user/Library/Mail"
[ -z "$(find "$mail" "$demo/Users/$user/Library/Containers/com.apple.mail" -type f -name '*.pdf')" ] ||
  demo_fail "mail attachments are still there"
[ -n "$(find "$mail" -type f -name '*.emlx')" ] || demo_fail "the mail messages are gone"
grep -q '"lastCleanedBytes": [1-9]' <<<"$history" || demo_fail "the history shows no cleaned bytes"
[ ! -e "$socket" ] || demo_fail "the socket is still there"
echo "caches, Trash and mail attachments emptied, application uninstalled, other files kept, history recorded, socket removed: all good"
demo_stop
rm -rf "$demo"
