#!/usr/bin/env bash
# Installs what is missing, builds, starts the bundled demo novel site on port 80 of 127.0.0.1 in
# the background, and opens the collector's window. The site stops when the window closes.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh build/plain
site=build/plain/tools/demo-site/norvel-demo-site
tool=build/plain/src/app/norvel-collector

"$site" --address 127.0.0.1 --port 80 --chapters 120 --latency-ms 30 &
site_pid=$!
trap 'kill "$site_pid" 2>/dev/null || true' EXIT

echo "Demo site running. In the window, type http://127.0.0.1/list/1537326.html and press 匹配."
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "demo: no display found (DISPLAY is not set); run this from a desktop session." >&2
  exit 1
fi
"$tool"
