#!/usr/bin/env bash
# Takes the documentation's screenshots in docs/screenshots under Xvfb, everything on
# 127.0.0.1: the search window with results from the test web servers, and the download
# window of a real corvane session (posts from the post maker on slow test news
# servers), whose windows are found and clicked with xdotool. BUILD_DIR names the build
# folder (default build).
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD="${BUILD_DIR:-build}"
cmake --build "$BUILD" --target searchwindow_screenshots testwebserver lumo pirn dulo \
  corvane_screenshots
mkdir -p docs/screenshots
for tool in searchwindow_screenshots corvane_screenshots; do
  QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1280x800x24" \
    "$BUILD/bin/$tool" docs/screenshots
done
