#!/usr/bin/env bash
# Times the diacritizer's whole run (table load included) against iconv
# converting the same input from UTF-16LE to UTF-8, and against a plain
# Python implementation with a dict (peer.py), side by side in one run;
# prints the ratios and the peak resident memory.
#
#   bench/diacritizer/run.sh [FORMS] [LINES]   (default 200000 1000000)
#
# The table is built by `urdu table build` from FORMS generated diacritized
# words (load 0.8: 250 000 slots, 17.5 MB for the default); the input holds
# LINES bare words, about 70% of them in the table. An input this large
# runs on every core; the same run on one thread (DIACRITIZER_THREADS=1) is
# printed too. Builds an optimised diacritizer and urdu in $BUILD_DIR
# (default build-bench) first.
# Goals: diacritizer at most 2x iconv and at most 1/5 of Python, peak
# memory at most 2x the table file (the mapped pages of the table count in
# the resident memory, as the pages it touched).
set -eu
cd "$(dirname "$0")/../.."
root=$PWD
forms=${1:-200000}
lines=${2:-1000000}
. bench/measure.sh
bench_build diacritizer urdu
diacritizer=$root/$build/diacritizer/diacritizer
urdu=$root/$build/tools/urdu/urdu
peer=$root/bench/diacritizer/peer.py

bench_workdir

python3 - "$forms" "$lines" "$root/bench" <<'PY'
import random, sys
sys.path.insert(0, sys.argv[3])
from wordforms import make_forms, unknown_word
random.seed(5)
forms, lines = int(sys.argv[1]), int(sys.argv[2])
bares = make_forms(forms, (4, 5, 6, 6, 7, 7, 8, 9))
out = []
for _ in range(lines):
    if random.random() < 0.7:
        out.append(random.choice(bares))
    else:
        out.append(unknown_word((5, 6, 7, 8)))
text = "\r\n".join(out) + "\r\n"
open("input.txt", "wb").write(b"\xff\xfe" + text.encode("utf-16-le"))
PY
"$urdu" table build words.txt -o wordformshashtable.lex 2>/dev/null
table_bytes=$(stat -c %s wordformshashtable.lex)
input_bytes=$(stat -c %s input.txt)
echo "table: $table_bytes bytes ($forms forms); input: $input_bytes bytes ($lines lines)"

read -r w_iconv c_iconv _ <<<"$(measure iconv -f UTF-16LE -t UTF-8 -o iconv.out input.txt)"
read -r w_diac c_diac rss_diac <<<"$(measure "$diacritizer" input.txt output.txt)"
# An input this large runs on every core; the same on one thread.
read -r w_one_thread c_one_thread _ <<<"$(DIACRITIZER_THREADS=1 measure "$diacritizer" input.txt output1.txt)"
read -r w_peer c_peer rss_peer <<<"$(measure python3 "$peer" wordformshashtable.lex input.txt peer.txt)"
# An input of no lines: what loading the table costs.
printf '\377\376' > empty.txt
read -r w_load c_load _ <<<"$(measure "$diacritizer" empty.txt empty.out)"
# One line with this table and with the sample lexicon's: start-up should
# not grow with the table.
head -c 40 input.txt > one.txt
read -r w_one c_one _ <<<"$(MEASURE_RUNS=20 measure "$diacritizer" one.txt one.out)"
mkdir sample
"$urdu" table build "$root/data/diacritizer/words.txt" -o sample/wordformshashtable.lex 2>/dev/null
read -r w_small c_small _ <<<"$(cd sample && MEASURE_RUNS=20 measure "$diacritizer" ../one.txt one.out)"

cmp -s output.txt peer.txt || { echo "diacritizer and peer outputs differ" >&2; exit 1; }
cmp -s output.txt output1.txt || { echo "one and several threads differ" >&2; exit 1; }

awk -v wi="$w_iconv" -v ci="$c_iconv" -v wd="$w_diac" -v cd="$c_diac" \
    -v wp="$w_peer" -v cp="$c_peer" -v wl="$w_load" -v cl="$c_load" \
    -v rd="$rss_diac" -v rp="$rss_peer" -v tb="$table_bytes" \
    -v wo="$w_one" -v co="$c_one" -v ws="$w_small" -v cs="$c_small" \
    -v wt="$w_one_thread" -v ct="$c_one_thread" 'BEGIN {
  printf "%-28s %9s %9s\n", "", "wall s", "cpu s"
  printf "%-28s %9.3f %9.3f\n", "iconv UTF-16LE -> UTF-8", wi, ci
  printf "%-28s %9.3f %9.3f\n", "diacritizer", wd, cd
  printf "%-28s %9.3f %9.3f\n", "  on one thread", wt, ct
  printf "%-28s %9.3f %9.3f\n", "  of which table load", wl, cl
  printf "%-28s %9.3f %9.3f\n", "python dict peer", wp, cp
  printf "%-28s %9.4f %9.4f\n", "one line, this table", wo, co
  printf "%-28s %9.4f %9.4f\n", "one line, sample table", ws, cs
  printf "%-28s %9.2f %9.2f   (goal: at most 1.5)\n", "one line: this / sample", wo / ws, co / cs
  printf "%-28s %9.2f %9.2f   (goal: at most 2)\n", "diacritizer / iconv", wd / wi, cd / ci
  printf "%-28s %9.2f %9.2f\n", "  on one thread / iconv", wt / wi, ct / ci
  printf "%-28s %9.2f %9.2f   (goal: at most 0.20)\n", "diacritizer / python", wd / wp, cd / cp
  printf "peak memory: diacritizer %.1f MB = %.2f x table (goal: at most 2); python %.1f MB\n",
         rd / 1024, rd * 1024 / tb, rp / 1024
}'
