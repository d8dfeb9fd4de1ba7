#!/usr/bin/env bash
# Times `urdu normalize`, `urdu strip` and `urdu codes`, with one thread
# and with the default threads, against iconv converting the same bytes
# from UTF-8 to UTF-16LE, the runs alternated in rounds so that the load
# of a shared machine falls on all alike; prints the best and the median wall time of
# each and their ratio to iconv's. The input is SIZE_MB MB of running Urdu
# text: bare words as in bench/urdu ("plain"), and the same text
# diacritized by `urdu diacritize` ("marked", about one letter in two
# with a mark). Then the one-thread normalize against the library kernel
# in process for as many characters, at the rate bench/normalization's
# kernel bench measures on its own text.
#
#   bench/textfilters/run.sh [SIZE_MB] [OTHER_URDU]     (default 100)
#
# OTHER_URDU, another build of urdu (an earlier commit's), is timed in the
# same rounds, and its outputs must be the same bytes. Builds an optimised
# urdu and the kernel bench in $BUILD_DIR (default build-bench) first.
# Goals: normalize and strip at most 0.5x iconv's time; one thread within
# 2x the kernel's.
set -eu
cd "$(dirname "$0")/../.."
root=$PWD
size_mb=${1:-100}
other=${2:-}
[ -z "$other" ] || other=$(realpath "$other")
. bench/measure.sh
bench_build -DURDULEX_BUILD_BENCHMARKS=ON urdu normalization_bench
urdu=$root/$build/tools/urdu/urdu
kernel=$root/$build/bench/normalization/normalization_bench
export URDULEX_DATA=$root/data

bench_workdir

python3 - "$size_mb" "$root/bench" <<'PY'
import random, sys
sys.path.insert(0, sys.argv[2])
from wordforms import make_forms, write_running_text
random.seed(7)
bares = make_forms(200000, (2, 3, 3, 4, 4, 5, 5, 6, 7))
write_running_text((("plain.txt", int(sys.argv[1]) * 1000000),), bares)
PY
"$urdu" table build words.txt -o t.lex 2>/dev/null
"$urdu" diacritize --no-progress --table t.lex -o marked.txt plain.txt
kernel_rate=$("$kernel" "$root/data/normalization/config.ini" 20 |
  awk '/^Normalization::Normalize/ { print $NF }')

MEASURE_RUNS=${MEASURE_RUNS:-5} python3 - "$urdu" "$other" "$kernel_rate" <<'PY'
import filecmp, os, statistics, subprocess, sys, time
urdu, other, kernel_rate = sys.argv[1], sys.argv[2], float(sys.argv[3])
runs = int(os.environ["MEASURE_RUNS"])
builds = [("", urdu)] + ([("other ", other)] if other else [])
jobs = []
for text in ("plain", "marked"):
    jobs.append((text, "iconv", ["iconv", "-f", "UTF-8", "-t", "UTF-16LE",
                                 "-o", "iconv.out", text + ".txt"]))
    for name in ("normalize", "strip", "codes"):
        for threads, j in (("-j 1", ["-j", "1"]), ("default", [])):
            for label, binary in builds:
                out = f"{text}.{name}.{j and 1}.{label.strip() or 'this'}.out"
                jobs.append((text, f"{label}{name} {threads}",
                             [binary, name, "--no-progress", *j, "-o", out,
                              text + ".txt"]))
walls = {(t, n): [] for t, n, _ in jobs}
for _ in range(runs):
    for text, name, cmd in jobs:
        start = time.perf_counter()
        subprocess.run(cmd, check=True, stdout=subprocess.DEVNULL)
        walls[(text, name)].append(time.perf_counter() - start)
if other:
    for f in sorted(os.listdir(".")):
        if f.endswith(".this.out") and not filecmp.cmp(
                f, f.replace(".this.", ".other."), shallow=False):
            sys.exit(f"{f}: the other urdu gives other bytes")
print(f"best and median wall time of {runs} alternated rounds, on "
      f"{os.path.getsize('plain.txt') / 1e6:.0f} MB")
print("%-26s %9s %9s %12s %12s" % ("", "best s", "median s", "best/iconv",
                                   "median/iconv"))
for text in ("plain", "marked"):
    base = walls[(text, "iconv")]
    print(f"{text}.txt:")
    for t, name, _ in jobs:
        if t != text:
            continue
        w = walls[(t, name)]
        print("  %-24s %9.3f %9.3f %11.2fx %11.2fx" % (
            name, min(w), statistics.median(w), min(w) / min(base),
            statistics.median(w) / statistics.median(base)))
chars = len(open("plain.txt", encoding="utf-8").read())
kernel = chars / kernel_rate
print(f"normalize -j 1 on plain.txt against the kernel: {chars / 1e6:.1f} M "
      f"characters in {kernel:.3f} s at {kernel_rate / 1e6:.0f} M/s in process;")
print("  urdu normalize -j 1: %.2fx (goal: at most 2)" %
      (min(walls[("plain", "normalize -j 1")]) / kernel))
print("(goal: normalize and strip at most 0.5x iconv's time; codes as it is)")
PY
