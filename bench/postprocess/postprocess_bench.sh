#!/usr/bin/env bash
# A post of stored RAR volumes with PAR2 recovery, some of its articles missing: the time
# from the last article to the unpacked file when done by hand (par2 r, then the
# extraction), the figure corvane's post-processing is set against.
#
#   postprocess_bench.sh [--size MIB] [--recovery PERCENT] [--missing PERCENT]
#                        [--work DIR] [--runs N] [--idle] [--verify-first] [--corvane]
#
# --corvane: after each run by hand, the same post through the real corvane
# (corvane_postprocess_bench), so that both meet the same load on the machine.
# --idle runs par2 and the extraction in the idle scheduling class; --verify-first runs
# "par2 v" before "par2 r" and counts it: how corvane's stage once ran par2, for comparison.
# The post is made once per work folder and size (random data, rarmaker, par2 c,
# postmaker) and kept for the next run. The damaged files are what a download leaves
# when those articles never come: the RAR volumes with the missing articles' bytes
# zeroed, and every PAR2 file of the post.
set -euo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
root="$(cd "$here/../.." && pwd)"
build="${BUILD_DIR:-$root/build}"
size=1024 recovery=5 missing=2 runs=1 work="${TMPDIR:-/tmp}/postprocess_bench"
priority=() verifyFirst=0 corvane=0
while (($#)); do
  case "$1" in
    --size) size="$2"; shift 2 ;;
    --recovery) recovery="$2"; shift 2 ;;
    --missing) missing="$2"; shift 2 ;;
    --work) work="$2"; shift 2 ;;
    --runs) runs="$2"; shift 2 ;;
    --idle) priority=(chrt --idle 0); shift ;;
    --verify-first) verifyFirst=1; shift ;;
    --corvane) corvane=1; shift ;;
    *) echo "usage: $0 [--size MIB] [--recovery PERCENT] [--missing PERCENT] [--work DIR]" \
         "[--runs N] [--idle] [--verify-first] [--corvane]" >&2
       exit 2 ;;
  esac
done
((runs >= 1 && runs <= 10)) || { echo "--runs: 1 to 10" >&2; exit 2; }

part=384000 # article size; PAR2 blocks of the same size, so a missing article costs one block
rarmaker="${RARMAKER:-$build/bin/rarmaker}"
postmaker="$build/bin/postmaker"
extract="$build/bench/archive_extract"
for tool in "$rarmaker" "$postmaker" "$extract"; do
  [ -x "$tool" ] || { echo "missing $tool (build it first)" >&2; exit 1; }
done
command -v par2 >/dev/null || { echo "par2 not found" >&2; exit 1; }

post="$work/post-$size"
if [ ! -f "$post/made" ]; then
  rm -rf "$post"
  mkdir -p "$post/files" "$post/spool"
  echo "making a post of $size MiB in $post"
  head -c $((size * 1048576)) /dev/urandom > "$post/payload.bin"
  # About twenty volumes, as posts of that size come.
  "$rarmaker" --format 4 --volume-size $((size * 1048576 / 20 + 65536)) \
    "$post/files/payload" "$post/payload.bin" > "$post/volumes.txt"
  par2 c -q -q -s$part -r"$recovery" "$post/files/payload.par2" "$post"/files/*.rar > /dev/null
  mapfile -t volumes < "$post/volumes.txt"
  "$postmaker" --spool "$post/spool" --nzb "$post/post.nzb" --part-size $part \
    "${volumes[@]}" "$post"/files/*.par2 > "$post/posted.txt"
  # The missing articles, from the RAR volumes only (file index up to the volume count).
  ls "$post/spool" | awk -F'[.@]' -v n="${#volumes[@]}" '$(NF-2) <= n' |
    shuf --random-source=<(yes) > "$post/rar_articles.txt"
  total=$(wc -l < "$post/rar_articles.txt")
  head -n $((total * missing / 100)) "$post/rar_articles.txt" | sort > "$post/missing.txt"
  touch "$post/made"
fi
mapfile -t volumes < "$post/volumes.txt"
echo "post: $(du -sh "$post/files" | cut -f1) in ${#volumes[@]} RAR volumes and" \
  "$(ls "$post"/files/*.par2 | wc -l) PAR2 files; $(wc -l < "$post/missing.txt") of" \
  "$(wc -l < "$post/rar_articles.txt") RAR articles missing"

# Zeroes the byte range of every missing article ("partKofN.token.INDEX@domain").
damage() {
  local folder="$1" id k index name
  while read -r id; do
    k="${id#part}"; k="${k%%of*}"
    index="$(awk -F'[.@]' '{print $(NF-2)}' <<< "$id")"
    name="$(basename "${volumes[index - 1]}")"
    dd if=/dev/zero of="$folder/$name" bs=$part seek=$((k - 1)) count=1 conv=notrunc \
      status=none
    # The last article of a volume is shorter: the file keeps its size.
    truncate -s "$(stat -c %s "$post/files/$name")" "$folder/$name"
  done < "$post/missing.txt"
}

seconds() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", b - a }'; }
# "peak P MiB, CPU C s" from a /usr/bin/time "%M %U %S" line.
usage() { awk '{ printf "peak %d MiB, CPU %.2f s", $1 / 1024, $2 + $3 }' "$1"; }

for ((run = 1; run <= runs; run++)); do
  hand="$work/byhand"
  rm -rf "$hand"
  mkdir -p "$hand/files" "$hand/out"
  cp "$post"/files/* "$hand/files/"
  damage "$hand/files"
  sync
  start=$(date +%s.%N)
  if ((verifyFirst)); then
    "${priority[@]}" par2 v "$hand/files/payload.par2" > /dev/null || true
  fi
  verified=$(date +%s.%N)
  /usr/bin/time -f "%M %U %S" -o "$hand/par2.mem" "${priority[@]}" par2 r "$hand/files/payload.par2" > "$hand/par2.log"
  repaired=$(date +%s.%N)
  mapfile -t handVolumes < <(for v in "${volumes[@]}"; do echo "$hand/files/$(basename "$v")"; done)
  /usr/bin/time -f "%M %U %S" -o "$hand/extract.mem" "${priority[@]}" "$extract" "$hand/out" "${handVolumes[@]}"
  done=$(date +%s.%N)
  cmp -s "$hand/out/payload.bin" "$post/payload.bin" || { echo "by hand: unpacked file differs" >&2; exit 1; }
  blocks="$(tr '\r' '\n' < "$hand/par2.log" | grep -E '^You have [0-9]+ out of' || true)"
  ((verifyFirst)) && echo "run $run by hand: par2 v $(seconds "$start" "$verified") s"
  echo "run $run by hand: par2 r $(seconds "$verified" "$repaired") s" \
    "($(usage "$hand/par2.mem")), extraction $(seconds "$repaired" "$done") s" \
    "($(usage "$hand/extract.mem")), total $(seconds "$start" "$done") s; $blocks"
  rm -rf "$hand"
  if ((corvane)); then
    "$build/bench/corvane_postprocess_bench" --post "$post" | sed "s/^/run $run /"
  fi
done
