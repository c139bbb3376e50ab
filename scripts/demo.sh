#!/usr/bin/env bash
# The main job: set-up and build, then the corvane program downloads a post end to end
# on loopback: a generated post made into yEnc articles, served by two test news servers
# (one lacking articles), config.ini written in a fresh CORVANE_HOME, corvane started
# with the NZB, the decoded files checked byte for byte, the instance ended with "x".
# Extra arguments go to the demo (--delete removes its program folder afterwards;
# --connections N; file paths post those files instead of the generated ones).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
"${BUILD_DIR:-build}/bin/corvane-demo" "$@"
