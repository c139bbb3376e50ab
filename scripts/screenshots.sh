#!/usr/bin/env bash
# Takes the search window's screenshots in docs/screenshots under Xvfb, with results
# from the test web servers on 127.0.0.1. BUILD_DIR names the build folder (default build).
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD="${BUILD_DIR:-build}"
cmake --build "$BUILD" --target searchwindow_screenshots testwebserver lumo pirn dulo
mkdir -p docs/screenshots
QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1280x800x24" \
  "$BUILD/bin/searchwindow_screenshots" docs/screenshots
