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
# Then, on the line of the largest size up to 100 MB, each command with
# its default threads against -j 1, runs alternated so that the load of a
# shared machine falls on both alike; and `diacritizer` on the same line
# in UTF-16 against DIACRITIZER_THREADS=1. Goal: the default at most 1.1x the
# time and 2x the peak memory of -j 1 (the threads' block splitter hands
# a line longer than a block to the streamed path of one thread).
set -eu
cd "$(dirname "$0")/../.."
root=$PWD
sizes=("$@")
[ ${#sizes[@]} -gt 0 ] || sizes=(25 50 100 200)
. bench/measure.sh
bench_build urdu diacritizer
urdu=$root/$build/tools/urdu/urdu
diacritizer=$root/$build/diacritizer/diacritizer

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

# write_line BYTES: line.txt, BYTES bytes of block.txt's words ended by LF.
write_line() {
  python3 - "$1" <<'PY'
import sys
size = int(sys.argv[1])
block = open("block.txt", "rb").read()
with open("line.txt", "wb") as f:
    for _ in range((size - 1) // len(block)):
        f.write(block)
    f.write(b" " * ((size - 1) % len(block)) + b"\n")
PY
}

export MEASURE_RUNS=${MEASURE_RUNS:-3}

printf '%-16s %8s %9s %11s %9s %11s\n' command "size MB" "wall s" "s per MB" \
  "peak MB" "peak / size"
for mb in "${sizes[@]}"; do
  write_line $((mb * 1000000))
  for cmd in codes normalize strip "diacritize --table t.lex"; do
    # shellcheck disable=SC2086
    read -r w _ rss <<<"$(measure "$urdu" $cmd -o out.txt line.txt)"
    awk -v c="urdu ${cmd%% *}" -v mb="$mb" -v w="$w" -v r="$rss" 'BEGIN {
      printf "%-16s %8d %9.3f %11.4f %9.1f %11.2f\n", c, mb, w, w / mb, r / 1024, r / 1024 / mb }'
  done
done
echo "(best wall time of $MEASURE_RUNS runs; peak: largest resident memory)"

mb=0
for size in "${sizes[@]}"; do
  if [ "$size" -le 100 ] && [ "$size" -gt "$mb" ]; then mb=$size; fi
done
[ "$mb" -gt 0 ] || mb=${sizes[0]}
write_line $((mb * 1000000))
python3 -c 'import sys; open("line16.txt", "wb").write(
    b"\xff\xfe" + open("line.txt", encoding="utf-8").read().encode("utf-16-le"))'
cp t.lex wordformshashtable.lex
echo
PYTHONPATH=$root/bench python3 - "$urdu" "$diacritizer" "$mb" <<'PY'
import filecmp, os, statistics, sys
from child import run
urdu, diacritizer, mb = sys.argv[1:4]
runs = int(os.environ["MEASURE_RUNS"])

print(f"one line of {mb} MB: default threads against -j 1, best of {runs} "
      "alternated runs")
print("%-16s %10s %10s %8s %8s %10s %10s %8s" % ("command", "default s", "-j 1 s",
      "ratio", "median", "default MB", "-j 1 MB", "ratio"))
# (name, the run with the default threads, the run on one thread), an
# output file for {}.
commands = [("urdu " + cmd[0], [urdu, *cmd, "-o", "{}", "line.txt"],
             [urdu, *cmd, "-j", "1", "-o", "{}", "line.txt"])
            for cmd in (["codes"], ["normalize"], ["strip"],
                        ["diacritize", "--table", "t.lex"])]
commands.append(("diacritizer", ["env", diacritizer, "line16.txt", "{}"],
                 ["env", "DIACRITIZER_THREADS=1", diacritizer, "line16.txt",
                  "{}"]))
for name, default, one_thread in commands:
    wall = {"d": [], "1": []}
    peak = {"d": 0, "1": 0}
    for _ in range(runs):
        for key, args in (("d", default), ("1", one_thread)):
            w, rss = run([a.replace("{}", f"out{key}.txt") for a in args])
            wall[key].append(w)
            peak[key] = max(peak[key], rss / 1024)
    if not filecmp.cmp("outd.txt", "out1.txt", shallow=False):
        sys.exit(f"{name}: the outputs differ")
    d, one = min(wall["d"]), min(wall["1"])
    median = statistics.median(a / b for a, b in zip(wall["d"], wall["1"]))
    print("%-16s %10.3f %10.3f %8.2f %8.2f %10.1f %10.1f %8.2f" % (
        name, d, one, d / one, median, peak["d"], peak["1"],
        peak["d"] / peak["1"]))
print("(goal: the default at most 1.1x the time and 2x the memory of -j 1)")
PY
