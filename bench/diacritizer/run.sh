#!/usr/bin/env bash
# Times the diacritizer's whole run (table load included) against iconv
# converting the same input from UTF-16LE to UTF-8, and against a plain
# Python implementation with a dict (peer.py), side by side in one run;
# prints the ratios and the peak resident memory.
#
#   bench/diacritizer/run.sh [FORMS] [LINES]   (default 200000 1000000)
#
# The table is built by the wordforms tool from FORMS generated diacritized
# words (load 0.8: 250 000 slots, 17.5 MB for the default); the input holds
# LINES bare words, about 70% of them in the table. Builds an optimised
# diacritizer and wordforms in $BUILD_DIR (default build-bench) first.
# Goals: diacritizer at most 4x iconv and at most 1/5 of Python, peak
# memory at most 3x the table file.
set -eu
cd "$(dirname "$0")/../.."
root=$PWD
forms=${1:-200000}
lines=${2:-1000000}
build=${BUILD_DIR:-build-bench}
bash scripts/setup.sh
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DURDULEX_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" --target diacritizer wordforms >/dev/null
diacritizer=$root/$build/diacritizer/diacritizer
wordforms=$root/$build/tools/wordforms/wordforms
peer=$root/bench/diacritizer/peer.py
if [ ! -x /usr/bin/time ]; then
  echo "run.sh: /usr/bin/time is missing (Debian package 'time')" >&2
  exit 1
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

python3 - "$forms" "$lines" <<'PY'
import random, sys
random.seed(5)
forms, lines = int(sys.argv[1]), int(sys.argv[2])
letters = [chr(c) for c in (0x0627, 0x0628, 0x067E, 0x062A, 0x0679, 0x062C,
           0x0686, 0x062D, 0x062E, 0x062F, 0x0688, 0x0631, 0x0691, 0x0632,
           0x0633, 0x0634, 0x0635, 0x0637, 0x0639, 0x063A, 0x0641, 0x0642,
           0x06A9, 0x06AF, 0x0644, 0x0645, 0x0646, 0x0648, 0x06C1, 0x06CC,
           0x06D2, 0x06BA)]
marks = ["", "\u064e", "\u0650", "\u064f", "\u0652", "\u0651\u064e"]
words, bares, seen = [], [], set()
while len(words) < forms:
    n = random.choice((4, 5, 6, 6, 7, 7, 8, 9))
    if bares and random.random() < 0.05:
        bare = random.choice(bares)          # a second form of a known word
    else:
        bare = "".join(random.choice(letters) for _ in range(n))
    word = "".join(c + random.choice(marks) for c in bare)
    if word in seen:
        continue
    seen.add(word)
    words.append(word)
    bares.append(bare)
open("words.txt", "w", encoding="utf-8").write("\n".join(words) + "\n")
out = []
for _ in range(lines):
    if random.random() < 0.7:
        out.append(random.choice(bares))
    else:
        out.append("".join(random.choice(letters)
                           for _ in range(random.choice((5, 6, 7, 8)))))
text = "\r\n".join(out) + "\r\n"
open("input.txt", "wb").write(b"\xff\xfe" + text.encode("utf-16-le"))
PY
"$wordforms" build words.txt -o wordformshashtable.lex 2>/dev/null
table_bytes=$(stat -c %s wordformshashtable.lex)
input_bytes=$(stat -c %s input.txt)
echo "table: $table_bytes bytes ($forms forms); input: $input_bytes bytes ($lines lines)"

# Best of five wall-clock runs, in seconds.
best() {
  local best_t=
  for _ in 1 2 3 4 5; do
    local s e t
    s=$(date +%s.%N); "$@" >/dev/null; e=$(date +%s.%N)
    t=$(awk -v s="$s" -v e="$e" 'BEGIN { print e - s }')
    if [ -z "$best_t" ] || awk -v t="$t" -v b="$best_t" 'BEGIN { exit !(t < b) }'; then
      best_t=$t
    fi
  done
  echo "$best_t"
}
# Peak resident memory of one run, in kilobytes.
peak_kb() {
  /usr/bin/time -f %M "$@" 2>&1 >/dev/null | tail -1
}

t_iconv=$(best sh -c 'iconv -f UTF-16LE -t UTF-8 input.txt > iconv.out')
t_diac=$(best "$diacritizer" input.txt output.txt)
t_peer=$(best python3 "$peer" wordformshashtable.lex input.txt peer.txt)
# An input of no lines: what loading the table costs.
printf '\377\376' > empty.txt
t_load=$(best "$diacritizer" empty.txt empty.out)
rss_diac=$(peak_kb "$diacritizer" input.txt output.txt)
rss_peer=$(peak_kb python3 "$peer" wordformshashtable.lex input.txt peer.txt)

cmp -s output.txt peer.txt || { echo "diacritizer and peer outputs differ" >&2; exit 1; }

awk -v i="$t_iconv" -v d="$t_diac" -v p="$t_peer" -v l="$t_load" \
    -v rd="$rss_diac" -v rp="$rss_peer" -v tb="$table_bytes" 'BEGIN {
  printf "iconv UTF-16LE -> UTF-8     %7.3f s\n", i
  printf "diacritizer                 %7.3f s   (table load alone %.3f s)\n", d, l
  printf "python dict peer            %7.3f s\n", p
  printf "diacritizer / iconv         %7.2f     (goal: at most 4)\n", d / i
  printf "diacritizer / python        %7.2f     (goal: at most 0.20)\n", d / p
  printf "peak memory: diacritizer %.1f MB = %.2f x table (goal: at most 3); python %.1f MB\n",
         rd / 1024, rd * 1024 / tb, rp / 1024
}'
