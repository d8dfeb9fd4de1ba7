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
# Goal: urdu diacritize at most 5x iconv's time, and the same peak memory
# on a quarter of the input as on all of it.
set -eu
cd "$(dirname "$0")/../.."
root=$PWD
size_mb=${1:-100}
forms=${2:-200000}
build=${BUILD_DIR:-build-bench}
bash scripts/setup.sh
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DURDULEX_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" --target urdu >/dev/null
urdu=$root/$build/tools/urdu/urdu

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

python3 - "$size_mb" "$forms" <<'PY'
import random, sys
random.seed(7)
size = int(sys.argv[1]) * 1000000
forms = int(sys.argv[2])
letters = [chr(c) for c in (0x0627, 0x0628, 0x067E, 0x062A, 0x0679, 0x062C,
           0x0686, 0x062D, 0x062E, 0x062F, 0x0688, 0x0631, 0x0691, 0x0632,
           0x0633, 0x0634, 0x0635, 0x0637, 0x0639, 0x063A, 0x0641, 0x0642,
           0x06A9, 0x06AF, 0x0644, 0x0645, 0x0646, 0x0648, 0x06C1, 0x06CC,
           0x06D2, 0x06BA)]
marks = ["", "\u064e", "\u0650", "\u064f", "\u0652", "\u0651\u064e"]
words, bares, seen = [], [], set()
while len(words) < forms:
    n = random.choice((2, 3, 3, 4, 4, 5, 5, 6, 7))
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
# One block of running text, repeated up to the size.
seps = [" "] * 14 + ["\u060c ", "\u06d4\n", ", ", " (", ") ", "\u061f ", "\n"]
out, n = [], 0
while n < 4 << 20:
    if random.random() < 0.7:
        w = random.choice(bares)
    else:
        w = "".join(random.choice(letters) for _ in range(random.choice((3, 4, 5, 6))))
    piece = w + random.choice(seps)
    out.append(piece)
    n += len(piece.encode("utf-8"))
block = "".join(out).encode("utf-8")
for name, length in (("input.txt", size), ("quarter.txt", size // 4)):
    with open(name, "wb") as f:
        for _ in range(length // len(block)):
            f.write(block)
        f.write(block[:length % len(block)].decode("utf-8", "ignore").encode("utf-8"))
PY
"$urdu" table build words.txt -o t.lex 2>/dev/null
echo "table: $(stat -c %s t.lex) bytes ($forms forms); input: $(stat -c %s input.txt) bytes of UTF-8"

. "$root/bench/measure.sh"

read -r w_iconv c_iconv _ <<<"$(measure iconv -f UTF-8 -t UTF-16LE -o iconv.out input.txt)"
read -r w_urdu c_urdu rss_urdu <<<"$(measure "$urdu" diacritize --no-progress --table t.lex -o out.txt input.txt)"
read -r _ _ rss_quarter <<<"$(measure "$urdu" diacritize --no-progress --table t.lex -o quarter.out quarter.txt)"
: >empty.txt
read -r w_load c_load _ <<<"$(measure "$urdu" diacritize --table t.lex -o empty.out empty.txt)"
# The output is the input with the known words diacritized.
"$urdu" strip out.txt | cmp -s - input.txt ||
  { echo "stripping the output does not give back the input" >&2; exit 1; }

awk -v wi="$w_iconv" -v ci="$c_iconv" -v wu="$w_urdu" -v cu="$c_urdu" \
    -v wl="$w_load" -v cl="$c_load" -v ru="$rss_urdu" -v rq="$rss_quarter" 'BEGIN {
  printf "%-30s %9s %9s\n", "", "wall s", "cpu s"
  printf "%-30s %9.3f %9.3f\n", "iconv UTF-8 -> UTF-16LE", wi, ci
  printf "%-30s %9.3f %9.3f\n", "urdu diacritize", wu, cu
  printf "%-30s %9.3f %9.3f\n", "  of which table load", wl, cl
  printf "%-30s %9.2f %9.2f   (goal: at most 5)\n", "urdu diacritize / iconv", wu / wi, cu / ci
  printf "peak memory of urdu diacritize: %.1f MB on the whole input, %.1f MB on a quarter of it\n", ru / 1024, rq / 1024
}'
