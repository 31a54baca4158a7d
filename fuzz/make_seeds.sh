#!/bin/sh
# Rebuilds the seed corpora from the archives vozi_fuzz_seeds writes, with
# plistutil's XML conversions of them.
#   fuzz/make_seeds.sh build/fuzz
# Only the seed-* files are rewritten; other inputs kept in the corpora
# (graph-*: graphs for the round-trip target) stay as they are.
set -eu
build=$1
here=$(cd "$(dirname "$0")" && pwd)
corpus=$here/corpus
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

"$build/fuzz/vozi_fuzz_seeds" "$scratch"
for target in binary_plist xml_plist record_archive record_roundtrip; do
  mkdir -p "$corpus/$target"
  find "$corpus/$target" -name 'seed-*' -delete
done

# A byte given as a number, written raw.
byte() { printf "\\$(printf '%03o' "$1")"; }

for archive in "$scratch"/*.bplist; do
  name=$(basename "$archive" .bplist)
  decoder=${name%%-*}
  plistutil -i "$archive" -o "$scratch/$name.xml" -f xml
  cp "$archive" "$corpus/binary_plist/seed-$name"
  cp "$scratch/$name.xml" "$corpus/xml_plist/seed-$name"
  { byte "$decoder"; cat "$archive"; } >"$corpus/record_archive/seed-$name"
  # Archives also come as XML; one of each decoder's is enough.
  if [ ! -e "$corpus/record_archive/seed-$decoder-xml" ]; then
    { byte "$decoder"; cat "$scratch/$name.xml"; } >"$corpus/record_archive/seed-$decoder-xml"
  fi
  { byte 1; byte "$decoder"; cat "$archive"; } >"$corpus/record_roundtrip/seed-$name"
done
