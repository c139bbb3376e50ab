#!/usr/bin/env bash
# Builds the Debian package of both programs from the install rules, in a build folder
# of its own without tests and benchmarks: build-package/corvane_<version>_amd64.deb.
# Install it with: sudo apt install ./build-package/corvane_*.deb
set -euo pipefail
cd "$(dirname "$0")/.."

export BUILD_DIR="${BUILD_DIR:-build-package}"
# The build type of the ordinary build, so the compiler cache serves it; cpack strips.
CONFIGURE_OPTIONS="-DCORV_BUILD_TESTS=OFF -DCORV_BUILD_BENCH=OFF" \
  bash scripts/setup.sh
cpack --config "$BUILD_DIR/CPackConfig.cmake" -B "$BUILD_DIR"
ls "$BUILD_DIR"/corvane_*.deb
