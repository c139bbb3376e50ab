#!/usr/bin/env bash
# The main job: set-up and build, then the corvane program downloads a post end to end
# on loopback: generated files packed into RAR5 volumes with a PAR2 set, made into yEnc
# articles, served by two test news servers (one lacking articles, and a few articles on
# neither), config.ini written in a fresh CORVANE_HOME, corvane started with the NZB, the
# damaged post repaired and unpacked by its post-processing stage, the unpacked files
# checked byte for byte, the instance ended with "x". Extra arguments go to the demo
# (--delete removes its program folder afterwards; --connections N; file paths pack and
# post those files instead of the generated ones).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
"${BUILD_DIR:-build}/bin/corvane-demo" "$@"
