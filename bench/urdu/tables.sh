#!/usr/bin/env bash
# Times `urdu diacritize` on one text with a large word-form table against
# a small one, runs alternated so that the load of a shared machine falls
# on both alike, and prints the ratio of their times and the peak resident
# memory against the large table's size.
#
#   bench/urdu/tables.sh [SIZE_MB] [FORMS] [SMALL_FORMS]
#                                       (default 10 1000000 1000)
#
# The text is SIZE_MB MB of the running text of bench/urdu/run.sh, about
# 70% of its words among the FORMS forms of the large table; the small
# table holds SMALL_FORMS forms drawn alike. Each table is run with the
# default threads and with -j 1. Builds an optimised urdu in $BUILD_DIR
# (default build-bench) first.
# Goal: the large table at most 1.5x the small one's time, and peak memory
# at most 1.5x the large table's size.
set -eu
cd "$(dirname "$0")/../.."
root=$PWD
size_mb=${1:-10}
forms=${2:-1000000}
small=${3:-1000}
. bench/measure.sh
bench_build urdu
urdu=$root/$build/tools/urdu/urdu

bench_workdir

python3 - "$size_mb" "$forms" "$small" "$root/bench" <<'PY'
import os, random, sys
sys.path.insert(0, sys.argv[4])
from wordforms import make_forms, write_running_text
random.seed(7)
make_forms(int(sys.argv[3]), (2, 3, 3, 4, 4, 5, 5, 6, 7))
os.rename("words.txt", "small.txt")
bares = make_forms(int(sys.argv[2]), (2, 3, 3, 4, 4, 5, 5, 6, 7))
write_running_text((("input.txt", int(sys.argv[1]) * 1000000),), bares)
PY
"$urdu" table build words.txt -o large.lex 2>/dev/null
"$urdu" table build small.txt -o small.lex 2>/dev/null
echo "tables: $(stat -c %s large.lex) bytes ($forms forms), $(stat -c %s small.lex) bytes ($small forms); input: $(stat -c %s input.txt) bytes of UTF-8"

MEASURE_RUNS=${MEASURE_RUNS:-5} PYTHONPATH=$root/bench python3 - "$urdu" "$(stat -c %s large.lex)" <<'PY'
import os, statistics, sys
from child import run
urdu, table_bytes = sys.argv[1], int(sys.argv[2])
runs = int(os.environ["MEASURE_RUNS"])

print(f"best and median of {runs} alternated runs")
print("%-9s %11s %11s %11s %11s %9s %12s" % ("threads", "small s", "large s",
      "ratio", "median", "peak MB", "peak/table"))
for threads in ([], ["-j", "1"]):
    times = {"small": [], "large": []}
    peak = 0
    for _ in range(runs):
        for name in ("small", "large"):
            w, rss = run([urdu, "diacritize", "--no-progress", *threads,
                          "--table", f"{name}.lex", "-o", f"{name}.out",
                          "input.txt"])
            times[name].append(w)
            if name == "large":
                peak = max(peak, rss * 1024)
    s, l = min(times["small"]), min(times["large"])
    ratio = statistics.median(b / a for a, b in zip(times["small"], times["large"]))
    print("%-9s %11.3f %11.3f %11.2f %11.2f %9.1f %12.2f" % (
        " ".join(threads) or "default", s, l, l / s, ratio, peak / 1e6,
        peak / table_bytes))
print("(ratio: of the best times; median: of the run-by-run ratios; "
      "goal: at most 1.5, peak at most 1.5x the large table)")
PY
