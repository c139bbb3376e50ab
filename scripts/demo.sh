#!/usr/bin/env bash
# The main job: set-up and build, then a demo import of the sample NZB into a fresh
# article database in a temporary program folder. Extra arguments go to the demo
# (--delete removes the folder afterwards; NZB paths import those files instead).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
"${BUILD_DIR:-build}/bin/corvane-importdemo" "$@"
