#!/usr/bin/env bash
# Makes docs/screenshots/main-window.png: the real main window at 1280x800 after a scan of the simulated
# bus (addresses 0..20), and docs/screenshots/display-page.png, its local-display page with the found
# meters; drawn by Qt's offscreen platform, so no display is needed.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build --target ui_screenshot -j"$(nproc 2>/dev/null || echo 2)" >/dev/null

mkdir -p docs/screenshots
QT_QPA_PLATFORM=offscreen build/tests/ui/ui_screenshot "${1:-docs/screenshots/main-window.png}" \
  --display "${2:-docs/screenshots/display-page.png}"
