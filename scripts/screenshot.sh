#!/usr/bin/env bash
# Makes docs/screenshots/: the real main window at 1280x800 after a scan of the simulated bus (addresses
# 0..20), its device pages, the settings, report, login and users windows, as the user manual shows
# them; drawn by Qt's offscreen platform, so no display is needed.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build --target ui_screenshot manual-pdf -j"$(nproc 2>/dev/null || echo 2)" >/dev/null

mkdir -p docs/screenshots
QT_QPA_PLATFORM=offscreen build/tests/ui/ui_screenshot --folder docs/screenshots
QT_QPA_PLATFORM=offscreen build/tools/manual-pdf/manual-pdf docs/manual build/src/UsrManRXV.pdf \
  docs/screenshots/manual-first-page.png
