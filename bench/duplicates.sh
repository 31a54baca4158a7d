#!/usr/bin/env bash
# The duplicates scan against jdupes, rdfind and rmlint on one seeded tree.
#
# Lays out the tree of bench/duplicates_scan.cpp in a temporary root, reads it
# once so every run is warm, then runs, interleaved over three rounds, our
# scan (Release, progress on), `jdupes -r`, `rdfind -dryrun true` and
# `rmlint`. Prints each tool's median time and peak RSS, whether our sets
# equal jdupes' and rdfind's, and ours over the fastest peer (target: at
# most 0.8, with a peak RSS under 100 MB).
set -euo pipefail
cd "$(dirname "$0")/.."

rounds=3
build=build/release
bash scripts/install-deps.sh >/dev/null
missing=()
for tool in jdupes rdfind rmlint; do command -v "$tool" >/dev/null || missing+=("$tool"); done
if [ ${#missing[@]} -gt 0 ]; then
  sudo=""; [ "$(id -u)" -eq 0 ] || sudo=sudo
  $sudo apt-get install -y -qq "${missing[@]}" >/dev/null
fi
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVOZI_TESTS=ON -DVOZI_BENCH=ON >/dev/null
cmake --build "$build" --target bench_duplicates_scan >/dev/null
bench="$build/bench/bench_duplicates_scan"

# DUPS_ROOT: a tree laid out by an earlier run, kept and used again.
work=$(mktemp -d /tmp/vozi-dups-work.XXXXXX)
if [ -n "${DUPS_ROOT:-}" ] && [ -d "$DUPS_ROOT/Users/bench/Documents" ]; then
  root=$DUPS_ROOT
  trap 'rm -rf "$work"' EXIT
else
  root=$(mktemp -d /tmp/vozi-dups.XXXXXX)
  trap 'rm -rf "$root" "$work"' EXIT
  echo "laying out the tree in $root"
  "$bench" make "$root"
fi
docs="$root/Users/bench/Documents"
find "$docs" -type f -size -600k -exec cat {} + >/dev/null
for img in "$docs"/big/*.img; do cat "$img" >/dev/null; done

# Runs a command, prints "seconds peak_kb" of it.
measure() {
  /usr/bin/time -o "$work/time.txt" -f "%e %M" "$@" >/dev/null 2>&1
  tail -1 "$work/time.txt"
}

declare -A times rss
tools=(ours jdupes rdfind rmlint)
run_tool() {
  case "$1" in
    ours) measure "$bench" scan "$root" ;;
    jdupes) measure jdupes -r -q "$docs" ;;
    rdfind) (cd "$work" && measure rdfind -dryrun true "$docs") ;;
    # rmlint replaces the files it writes: never point it at a device.
    rmlint) (cd "$work" && measure rmlint -o "summary:$work/rmlint.summary" "$docs") ;;
  esac
}
for round in $(seq "$rounds"); do
  for tool in "${tools[@]}"; do
    read -r t m <<<"$(run_tool "$tool")"
    times[$tool]+="$t "
    rss[$tool]+="$m "
  done
done
median() { tr ' ' '\n' | grep -v '^$' | sort -g | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }

# The sets, compared as sets of sorted path lists.
"$bench" scan "$root" >"$work/ours.txt" 2>"$work/ours.err"
jdupes -r -q "$docs" >"$work/jdupes.txt"
(cd "$work" && rdfind -dryrun true -outputname rdfind.txt "$docs" >/dev/null)
compare() {
  python3 - "$work/ours.txt" "$1" "$2" <<'PY'
import sys
def paragraphs(path):
    sets, current = set(), []
    for line in open(path, encoding="utf-8", errors="surrogateescape"):
        line = line.rstrip("\n")
        if line:
            current.append(line)
        elif current:
            sets.add(tuple(sorted(current))); current = []
    if current:
        sets.add(tuple(sorted(current)))
    return sets
def rdfind(path):
    groups = {}
    for line in open(path, encoding="utf-8", errors="surrogateescape"):
        if line.startswith("#"):
            continue
        fields = line.rstrip("\n").split(" ", 7)
        if len(fields) == 8:
            groups.setdefault(abs(int(fields[1])), []).append(fields[7])
    return {tuple(sorted(g)) for g in groups.values() if len(g) > 1}
ours = paragraphs(sys.argv[1])
theirs = rdfind(sys.argv[2]) if sys.argv[3] == "rdfind" else paragraphs(sys.argv[2])
print("yes" if ours == theirs else "no (%d sets against %d)" % (len(ours), len(theirs)))
PY
}
same_jdupes=$(compare "$work/jdupes.txt" jdupes)
same_rdfind=$(compare "$work/rdfind.txt" rdfind)

printf "%-8s %10s %12s\n" tool seconds "peak RSS MB"
fastest=""
for tool in "${tools[@]}"; do
  t=$(echo "${times[$tool]}" | median)
  m=$(echo "${rss[$tool]}" | median)
  printf "%-8s %10s %12s\n" "$tool" "$t" "$(awk -v k="$m" 'BEGIN {printf "%.1f", k / 1024}')"
  if [ "$tool" != ours ] && { [ -z "$fastest" ] || awk -v a="$t" -v b="$fastest" 'BEGIN {exit !(a < b)}'; }; then fastest=$t; fastest_tool=$tool; fi
done
ours=$(echo "${times[ours]}" | median)
echo "sets: $(grep -c '^$' "$work/ours.txt") ours; same as jdupes: $same_jdupes; same as rdfind: $same_rdfind"
[ "$same_jdupes" = yes ] && [ "$same_rdfind" = yes ] && echo "same sets"
echo "peak RSS of ours: $(awk -v k="$(echo "${rss[ours]}" | median)" 'BEGIN {printf "%.1f MB", k / 1024}') (target: under 100 MB)"
echo "ours/fastest ($fastest_tool): $(awk -v a="$ours" -v b="$fastest" 'BEGIN {printf "%.2f", a / b}') (target: at most 0.8)"

# The file digest beside OpenSSL's own speed on 16 KiB blocks, one core.
cmake --build "$build" --target bench_file_digest >/dev/null
ours_kbs=$("$build/bench/bench_file_digest" "$docs")
openssl_kbs=$(openssl speed -evp sha256 -bytes 16384 -seconds 3 2>/dev/null | awk '/^sha256/ {print $2}' | tr -d k)
echo "file digest: ${ours_kbs} kB/s, openssl ${openssl_kbs} kB/s: $(awk -v a="$ours_kbs" -v b="$openssl_kbs" 'BEGIN {printf "%.0f%%", 100 * a / b}') (target: at least 90%)"
