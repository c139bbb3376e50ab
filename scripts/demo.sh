#!/usr/bin/env bash
# The main job: set-up and build, then a download end to end on loopback: a generated
# post made into yEnc articles, served by two test news servers (one lacking articles),
# fetched by the engine's workers and decoded by yydecode, checked byte for byte.
# Extra arguments go to the demo (--delete removes its temporary folder afterwards;
# --connections N; file paths post those files instead of the generated ones).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
"${BUILD_DIR:-build}/bin/corvane-fetchdemo" "$@"
