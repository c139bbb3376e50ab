#!/usr/bin/env bash
# Console search demo on loopback only: builds (scripts/setup.sh), starts one test web
# server per engine with the fixture result pages, points the engines at them in a fresh
# temporary MIRAVEL_HOME, searches, prints the results tables, downloads an NZB and stops
# the servers. Nothing goes to the outside network. The folder, with the NZB it stored,
# is kept for a look unless --delete is given.
# With --window it opens the search window (needs a display) against the same servers
# instead, and stops them when the window is closed.
set -euo pipefail
WINDOW=0
DELETE=0
for argument in "$@"; do
  case "$argument" in
    --window) WINDOW=1 ;;
    --delete) DELETE=1 ;;
    *) echo "usage: $0 [--window] [--delete]" >&2; exit 2 ;;
  esac
done
cd "$(dirname "$0")/.."
bash scripts/setup.sh
BIN="${BUILD_DIR:-build}/bin"
FIXTURES=tests/fixtures/web

export MIRAVEL_HOME
MIRAVEL_HOME="$(mktemp -d /tmp/miravel-demo.XXXXXX)"
servers=()
cleanup() {
  for pid in "${servers[@]}"; do kill "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true; done
  if ((DELETE)); then
    rm -rf "$MIRAVEL_HOME"
  else
    echo "kept $MIRAVEL_HOME (nzb/, cfg/miravel.db, the servers' logs)"
  fi
}
trap cleanup EXIT
mkdir -p "$MIRAVEL_HOME/cfg"

# One server per engine: a response finds its engine by the host it came from.
for engine in binsearch nzbindex yabsearch; do
  "$BIN/testwebserver" --root "$FIXTURES" --routes "$FIXTURES/$engine/routes.txt" \
    --lifetime "$((WINDOW ? 3600 : 120))" >"$MIRAVEL_HOME/$engine.port" 2>"$MIRAVEL_HOME/$engine.log" &
  servers+=($!)
  for _ in $(seq 50); do
    grep -q '^port ' "$MIRAVEL_HOME/$engine.port" 2>/dev/null && break
    sleep 0.1
  done
  port="$(sed -n 's/^port //p' "$MIRAVEL_HOME/$engine.port")"
  [ -n "$port" ] || { echo "the test web server for $engine did not start" >&2; exit 1; }
  printf '[%s]\nhost=127.0.0.1:%s\n' "$engine" "$port" >>"$MIRAVEL_HOME/cfg/engines.ini"
done

if ((WINDOW)); then
  echo "search window on loopback test servers; try the keyword \"bunny\" on binsearch"
  "$BIN/miravel"
  exit 0
fi

# The fixture pages answer any words; these are words their results contain, since the
# table shows the stored results of the engine that hold every word.
for search in "binsearch:big buck bunny" "nzbindex:ubuntu" "yabsearch:ubuntu"; do
  engine="${search%%:*}" words="${search#*:}"
  echo
  echo "== miravel --console --engine $engine \"$words\""
  "$BIN/miravel" --console --quiet --wait 20 --engine "$engine" "$words"
done

echo
echo "== miravel --console --engine binsearch --download 1706213370,1706213371 \"big buck bunny\""
nzb="$("$BIN/miravel" --console --quiet --wait 20 --engine binsearch \
        --download 1706213370,1706213371 "big buck bunny")"
echo "stored: $nzb"
head -n 5 "$nzb"
