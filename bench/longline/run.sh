#!/usr/bin/env bash
# Times the line commands of urdu on inputs that are one long line, and
# prints for each size the time and the peak resident memory per MB of
# input: a command linear in the line's length keeps both flat.
#
#   bench/longline/run.sh [SIZE_MB...]      (default 25 50 100 200)
#
# Each input is SIZE_MB MB of UTF-8 Urdu words (about one in ten with a
# mark, some with U+06BE after a mark) separated by spaces, ended by one
# LF. Builds an optimised urdu in $BUILD_DIR (default build-bench) first.
# Goal: `urdu codes` and `urdu normalize` within 1.5x the time per MB of
# the smallest size at every size, peak memory a few times the line.
set -eu
cd "$(dirname "$0")/../.."
root=$PWD
sizes=("$@")
[ ${#sizes[@]} -gt 0 ] || sizes=(25 50 100 200)
. bench/measure.sh
bench_build urdu
urdu=$root/$build/tools/urdu/urdu

bench_workdir

python3 - "$root/bench" <<'PY'
import random, sys
sys.path.insert(0, sys.argv[1])
from wordforms import LETTERS
random.seed(3)
marks = ["\u064e", "\u0650", "\u064f", "\u0651"]
words = []
for _ in range(200000):
    w = "".join(random.choice(LETTERS) for _ in range(random.choice((2, 3, 4, 5, 6))))
    if random.random() < 0.1:
        w = w[:1] + random.choice(marks) + w[1:]
    if random.random() < 0.05:
        w = w[:1] + random.choice(marks) + "\u06be" + w[1:]
    words.append(w)
open("block.txt", "wb").write((" ".join(words) + " ").encode("utf-8"))
PY
"$urdu" table build "$root/data/diacritizer/words.txt" -o t.lex 2>/dev/null

export MEASURE_RUNS=${MEASURE_RUNS:-3}

printf '%-16s %8s %9s %11s %9s %11s\n' command "size MB" "wall s" "s per MB" \
  "peak MB" "peak / size"
for mb in "${sizes[@]}"; do
  bytes=$((mb * 1000000))
  python3 - "$bytes" <<'PY'
import sys
size = int(sys.argv[1])
block = open("block.txt", "rb").read()
with open("line.txt", "wb") as f:
    for _ in range((size - 1) // len(block)):
        f.write(block)
    f.write(b" " * ((size - 1) % len(block)) + b"\n")
PY
  for cmd in codes normalize strip "diacritize --table t.lex"; do
    # shellcheck disable=SC2086
    read -r w _ rss <<<"$(measure "$urdu" $cmd -o out.txt line.txt)"
    awk -v c="urdu ${cmd%% *}" -v mb="$mb" -v w="$w" -v r="$rss" 'BEGIN {
      printf "%-16s %8d %9.3f %11.4f %9.1f %11.2f\n", c, mb, w, w / mb, r / 1024, r / 1024 / mb }'
  done
done
echo "(best wall time of $MEASURE_RUNS runs; peak: largest resident memory)"
