#!/usr/bin/env bash
# Builds and runs every benchmark (see docs/benchmarks.md). Run it on an idle machine.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
BENCH="${BUILD_DIR:-build}/bench"
echo "== NZB import, 5 runs"
for i in 1 2 3 4 5; do
  /usr/bin/time -f "peak memory: %M KB" "$BENCH/quillmap_bench"
done
echo "== results page read"
"$BENCH/search_selectdata_bench" "$@"
echo "== parse and store"
"$BENCH/search_parsestore_bench"
echo "== search window: keystroke to repainted list"
QT_QPA_PLATFORM=offscreen "$BENCH/search_keystroke_bench"
echo "== yydecode on a 256 MiB post"
"$BENCH/yydecode_bench"
echo "== engine: 1 GiB post downloaded and decoded with 4 and 8 connections, raw read beside it"
"$BENCH/engine_throughput_bench"
echo "== segment hand-out: 32 workers, 100,000 segments"
"$BENCH/segment_handout_bench"
echo "== corvane program: 1 GiB post from the test news server with 8 connections, raw read beside it"
"$BENCH/corvane_download_bench"
echo "== side by side: NZBGet and corvane (direct write on and off), the same 1 GiB post, 8 connections, 3 runs each"
"$BENCH/side_by_side_bench"
echo "== corvane program with its window under Xvfb: the same download, UI timer lateness, speed against no window"
xvfb-run -a -s "-screen 0 1280x800x24" "$BENCH/corvane_window_bench"
echo "== corvane program: NZB of 100,000 segments through the control socket until the queue reloaded"
"$BENCH/import_socket_bench"
