#!/usr/bin/env bash
# Installs what is missing, builds the release configuration and runs the
# daemon's main job.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh

build=build/release
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVOZI_TESTS=ON
cmake --build "$build" -j "$(nproc)"

if [ -x "$build/VOZi" ]; then
  exec "$build/VOZi" "$@"
fi
echo "The daemon's entry point is not built yet: everything else is built under $build."
