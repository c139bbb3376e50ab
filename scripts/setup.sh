#!/usr/bin/env bash
# Installs what the build, the tests and the demo need on Debian 12, then configures
# and builds everything into build/bin (the program folder).
set -euo pipefail
cd "$(dirname "$0")/.."

PACKAGES=(build-essential cmake ninja-build pkg-config
          libsqlite3-dev libsimpleini-dev libgtest-dev libgmock-dev libbenchmark-dev
          sqlite3 gzip binutils zlib1g-dev time libssl-dev openssl
          qt6-base-dev libgl-dev xvfb xauth tmux trayer xdotool x11-utils
          xdg-utils xdg-user-dirs desktop-file-utils dpkg-dev file
          clang libclang-rt-14-dev libfuzzer-14-dev
          libarchive-dev par2)

missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  $SUDO apt-get update
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends "${missing[@]}"
fi

BUILD_DIR="${BUILD_DIR:-build}"
# CONFIGURE_OPTIONS: more -D options (scripts/package.sh builds without tests).
cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCORV_WERROR=ON \
  ${CONFIGURE_OPTIONS:-}
cmake --build "$BUILD_DIR" -j"$(nproc)"
