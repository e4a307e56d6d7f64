#!/usr/bin/env bash
# Makes docs/window.png, the README's picture of the main window with its Chinese texts.
# Renders on Qt's offscreen platform, so no display is needed; the Chinese glyphs come from the
# CJK font the setup installs (fonts-noto-cjk). Usage: tools/screenshot/make_screenshot.sh
# [build-dir], default build/plain (configured by scripts/setup.sh).
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${1:-build/plain}
if [ ! -f "$build/build.ninja" ]; then
  cmake -S . -B "$build" -G Ninja >/dev/null
fi
cmake --build "$build" --target window_screenshot
mkdir -p docs
QT_QPA_PLATFORM=offscreen "$build/tools/screenshot/window_screenshot" docs/window.png
echo "wrote docs/window.png"
