#!/usr/bin/env bash
# Installs the Debian packages the project needs (skipping those already there), then configures
# and builds one tree. Usage: scripts/setup.sh [build-dir] [extra cmake arguments...]
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(
  cmake ninja-build g++ pkg-config
  qt6-base-dev libgl-dev
  libcurl4-openssl-dev libssl-dev
  libpcre2-dev libgumbo-dev
  libcpp-httplib-dev libgtest-dev
  fonts-noto-cjk
  openssl
  clang libclang-rt-14-dev
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

build=${1:-build/plain}
shift || true
cmake -S . -B "$build" -G Ninja "$@" >/dev/null
cmake --build "$build"
