#!/usr/bin/env bash
# Set-up, build, the whole test suite, and a short run of every fuzzing harness on its
# seeds (their own clang build, see scripts/fuzz.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
ctest --test-dir "${BUILD_DIR:-build}" --output-on-failure -j"$(nproc)"
bash scripts/fuzz.sh --build-only
ctest --test-dir "${FUZZ_BUILD_DIR:-build-fuzz}/fuzz" --output-on-failure -j"$(nproc)"
