#!/usr/bin/env bash
# Builds the libFuzzer harnesses of fuzz/ (clang with AddressSanitizer and
# UndefinedBehaviorSanitizer) in their own build folder and runs each for a while, one
# after another on one core.
#
#   scripts/fuzz.sh [SECONDS [HARNESS...]]   each harness (default: all) for SECONDS (60)
#   scripts/fuzz.sh --build-only
#
# The seeds in fuzz/corpus/<name> are only read; new inputs go to
# <build>/fuzz/corpus/<name>, and an input that fails a check to
# <build>/fuzz/findings/<name>/. FUZZ_BUILD_DIR names the build folder (build-fuzz).
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD="${FUZZ_BUILD_DIR:-build-fuzz}"

if [ ! -f "$BUILD/build.ninja" ]; then
  cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
    -DCORV_FUZZ=ON -DCORV_BUILD_TESTS=OFF -DCORV_BUILD_BENCH=OFF -DCORV_WERROR=ON
fi
cmake --build "$BUILD" -j"$(nproc)" --target fuzzers
[ "${1:-}" = "--build-only" ] && exit 0

seconds="${1:-60}"
[ $# -gt 0 ] && shift
names=("$@")
if [ ${#names[@]} -eq 0 ]; then
  for seeds in fuzz/corpus/*/; do names+=("$(basename "$seeds")"); done
fi

failed=0
for name in "${names[@]}"; do
  corpus="$BUILD/fuzz/corpus/$name"
  findings="$BUILD/fuzz/findings/$name"
  log="$BUILD/fuzz/$name.log"
  mkdir -p "$corpus" "$findings"
  if "$BUILD/fuzz/fuzz_$name" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
       -print_final_stats=1 -artifact_prefix="$findings/" "$corpus" "fuzz/corpus/$name" \
       >"$log" 2>&1; then
    result="no finding"
  else
    result="FINDING (see $log and $findings)"
    failed=1
  fi
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  printf '%-10s %6ss %12s executions, corpus %s inputs: %s\n' "$name" "$seconds" "${runs:-?}" \
    "$(find "$corpus" -type f | wc -l)" "$result"
done
exit $failed
