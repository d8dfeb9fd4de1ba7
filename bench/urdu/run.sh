#!/usr/bin/env bash
# Times `urdu diacritize` on running UTF-8 text (table load included)
# against iconv converting the same input from UTF-8 to UTF-16LE, side by
# side in one run, and prints the ratio and the peak resident memory.
#
#   bench/urdu/run.sh [SIZE_MB] [FORMS]      (default 100 200000)
#
# The table is built by `urdu table build` from FORMS generated diacritized
# words; the input is SIZE_MB MB of bare words (about 70% of them in the
# table), separated by spaces, Urdu and ASCII punctuation and line ends.
# Builds an optimised urdu in $BUILD_DIR (default build-bench) first.
# Goal: urdu diacritize at most 2x iconv's time, and the same peak memory
# on a quarter of the input as on all of it; homographs read by context
# (the default) at most 1.3x the time of their first reading, on this text
# and on the prose sample.
# Then -j 1 against -j 2 for diacritize, normalize, strip and codes on the
# same input, runs alternated so that the load of a shared machine falls
# on both alike; goal: -j 2 at least 1.7x the speed of -j 1 on 2 cores.
set -eu
cd "$(dirname "$0")/../.."
root=$PWD
size_mb=${1:-100}
forms=${2:-200000}
. bench/measure.sh
bench_build urdu
urdu=$root/$build/tools/urdu/urdu

bench_workdir

python3 - "$size_mb" "$forms" "$root/bench" <<'PY'
import random, sys
sys.path.insert(0, sys.argv[3])
from wordforms import make_forms, write_running_text
random.seed(7)
size = int(sys.argv[1]) * 1000000
bares = make_forms(int(sys.argv[2]), (2, 3, 3, 4, 4, 5, 5, 6, 7))
write_running_text((("input.txt", size), ("quarter.txt", size // 4)), bares)
PY
"$urdu" table build words.txt -o t.lex 2>/dev/null
echo "table: $(stat -c %s t.lex) bytes ($forms forms); input: $(stat -c %s input.txt) bytes of UTF-8"

read -r w_iconv c_iconv _ <<<"$(measure iconv -f UTF-8 -t UTF-16LE -o iconv.out input.txt)"
read -r w_urdu c_urdu rss_urdu <<<"$(measure "$urdu" diacritize --no-progress --table t.lex -o out.txt input.txt)"
# Homographs read by their neighbours (the default) against their first
# reading, on this text and on the prose sample repeated to the same size
# with the shipped lexicon, where one word in ten or so is a form the
# context rules weigh.
read -r w_first c_first _ <<<"$(measure "$urdu" diacritize --no-progress --ambiguous first --table t.lex -o first.out input.txt)"
"$urdu" table build "$root/data/diacritizer/words.txt" -o sample.lex 2>/dev/null
python3 - "$root/data/urdu/prose.txt" "$(stat -c %s input.txt)" <<'PY'
import sys
prose = open(sys.argv[1], "rb").read()
with open("prose.txt", "wb") as out:
    out.write(prose * (int(sys.argv[2]) // len(prose) + 1))
PY
read -r w_pc c_pc _ <<<"$(measure "$urdu" diacritize --no-progress --table sample.lex -o prose.out prose.txt)"
read -r w_pf c_pf _ <<<"$(measure "$urdu" diacritize --no-progress --ambiguous first --table sample.lex -o prose.out prose.txt)"
read -r _ _ rss_quarter <<<"$(measure "$urdu" diacritize --no-progress --table t.lex -o quarter.out quarter.txt)"
: >empty.txt
read -r w_load c_load _ <<<"$(measure "$urdu" diacritize --table t.lex -o empty.out empty.txt)"
# One line with this table and with the sample lexicon's: start-up should
# not grow with the table.
head -n 1 input.txt > one.txt
read -r w_one c_one _ <<<"$(MEASURE_RUNS=20 measure "$urdu" diacritize --table t.lex -o one.out one.txt)"
read -r w_small c_small _ <<<"$(MEASURE_RUNS=20 measure "$urdu" diacritize --table sample.lex -o one.out one.txt)"
# The output is the input with the known words diacritized.
"$urdu" strip out.txt | cmp -s - input.txt ||
  { echo "stripping the output does not give back the input" >&2; exit 1; }

awk -v wi="$w_iconv" -v ci="$c_iconv" -v wu="$w_urdu" -v cu="$c_urdu" \
    -v wl="$w_load" -v cl="$c_load" -v ru="$rss_urdu" -v rq="$rss_quarter" \
    -v wo="$w_one" -v co="$c_one" -v ws="$w_small" -v cs="$c_small" \
    -v wf="$w_first" -v cf="$c_first" -v wpc="$w_pc" -v cpc="$c_pc" \
    -v wpf="$w_pf" -v cpf="$c_pf" 'BEGIN {
  printf "%-30s %9s %9s\n", "", "wall s", "cpu s"
  printf "%-30s %9.3f %9.3f\n", "iconv UTF-8 -> UTF-16LE", wi, ci
  printf "%-30s %9.3f %9.3f\n", "urdu diacritize", wu, cu
  printf "%-30s %9.3f %9.3f\n", "  of which table load", wl, cl
  printf "%-30s %9.2f %9.2f   (goal: at most 2)\n", "urdu diacritize / iconv", wu / wi, cu / ci
  printf "%-30s %9.3f %9.3f\n", "  --ambiguous first", wf, cf
  printf "%-30s %9.2f %9.2f   (goal: at most 1.3)\n", "context / first", wu / wf, cu / cf
  printf "%-30s %9.3f %9.3f\n", "prose, shipped table", wpc, cpc
  printf "%-30s %9.3f %9.3f\n", "  --ambiguous first", wpf, cpf
  printf "%-30s %9.2f %9.2f   (goal: at most 1.3)\n", "prose: context / first", wpc / wpf, cpc / cpf
  printf "%-30s %9.4f %9.4f\n", "one line, this table", wo, co
  printf "%-30s %9.4f %9.4f\n", "one line, sample table", ws, cs
  printf "%-30s %9.2f %9.2f   (goal: at most 1.5)\n", "one line: this / sample", wo / ws, co / cs
  printf "peak memory of urdu diacritize: %.1f MB on the whole input, %.1f MB on a quarter of it\n", ru / 1024, rq / 1024
}'

# One thread against two, side by side; the outputs must be the same.
echo
MEASURE_RUNS=${MEASURE_RUNS:-5} python3 - "$urdu" "$(nproc)" <<'PY'
import filecmp, os, resource, statistics, subprocess, sys, time
urdu, cores = sys.argv[1], sys.argv[2]
runs = int(os.environ["MEASURE_RUNS"])

def pair(args):
    # Two one-thread runs at once: what two cores give this moment.
    start = time.perf_counter()
    procs = [subprocess.Popen(args + [f"pair{i}.out"], stdout=subprocess.DEVNULL)
             for i in (0, 1)]
    if any(p.wait() != 0 for p in procs):
        sys.exit("a run of the pair failed")
    return time.perf_counter() - start

def run(args):
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    start = time.perf_counter()
    subprocess.run(args, check=True, stdout=subprocess.DEVNULL)
    wall = time.perf_counter() - start
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    return wall, (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)

print(f"-j 1 against -j 2 on {cores} cores, best of {runs} alternated runs "
      "(spread: worst over best wall time)")
print("%-11s %17s %17s %9s %9s %9s %9s" % ("", "-j 1 wall (spr.)", "-j 2 wall (spr.)",
                                      "speed-up", "median", "cpu 2/1", "ceiling"))
for name, extra in (("diacritize", ["--table", "t.lex"]), ("normalize", []),
                    ("strip", []), ("codes", [])):
    cmd = {j: [urdu, name, *extra, "--no-progress", "-j", j, "-o", f"j{j}.out",
               "input.txt"] for j in ("1", "2")}
    walls = {"1": [], "2": []}
    cpus = {"1": [], "2": []}
    pairs = []
    for _ in range(runs):
        for j in ("1", "2"):
            w, c = run(cmd[j])
            walls[j].append(w)
            cpus[j].append(c)
        pairs.append(pair(cmd["1"][:-3] + ["input.txt", "-o"]))
    if not filecmp.cmp("j1.out", "j2.out", shallow=False):
        sys.exit(f"urdu {name}: -j 2 gives another output than -j 1")
    b1, b2 = min(walls["1"]), min(walls["2"])
    print("%-11s %9.3f (%4.2f) %9.3f (%4.2f) %8.2fx %8.2fx %9.2f %8.2fx" % (
        name, b1, max(walls["1"]) / b1, b2, max(walls["2"]) / b2, b1 / b2,
        statistics.median(walls["1"]) / statistics.median(walls["2"]),
        min(cpus["2"]) / min(cpus["1"]), 2 * b1 / min(pairs)))
print("(speed-up: best -j 1 wall over best -j 2 wall; median: the same of the "
      "medians; cpu 2/1: processor time of -j 2 over -j 1; ceiling: the "
      "speed-up of two -j 1 runs at once, what the cores give; goal: speed-up "
      "of diacritize at least 1.7)")
PY
