#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need; does nothing when
# they are all present, so it is safe to run before every build.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  libsqlite3-dev sqlite3 zlib1g-dev libssl-dev libcurl4-openssl-dev
  nlohmann-json3-dev libxml2-dev libplist-dev libplist-utils libicu-dev
  libgtest-dev libgmock-dev libbenchmark-dev libcpp-httplib-dev
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if ((${#missing[@]})); then
  echo "installing: ${missing[*]}"
  # As an ordinary user the packages are installed through sudo.
  sudo=()
  if [ "$(id -u)" -ne 0 ]; then sudo=(sudo); fi
  "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -qq
  "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
