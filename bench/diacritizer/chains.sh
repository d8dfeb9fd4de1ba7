#!/usr/bin/env bash
# Times every command that reads a word-form table on tables whose chains
# run through the whole table, against a normal table with the same words,
# side by side in one run, and prints the ratios.
#
#   bench/diacritizer/chains.sh [FORMS] [WORDS]   (default 40000 400000)
#
# FORMS generated diacritized words, each bare form four letters and one
# character chosen so that every bare form has the same home slot in a
# table of M = FORMS / 0.8 slots, go into three tables:
#   normal    `urdu table build --slots M+1`: the homes spread as usual;
#   one home  `urdu table build --slots M`: every record on one chain
#             from the one home slot;
#   one chain the normal table with its links redone into one chain
#             through every record, each home's records after its home
#             slot, so the walk from any home runs on to the table's end.
# The inputs hold WORDS words, about 70% of them in the tables: one a line
# for diacritizer, running text for urdu diacritize and urdu evaluate.
# Builds an optimised diacritizer and urdu in $BUILD_DIR (default
# build-bench) first. Goal: every command within 3x of the normal table.
set -eu
cd "$(dirname "$0")/../.."
root=$PWD
forms=${1:-40000}
words=${2:-400000}
. bench/measure.sh
bench_build diacritizer urdu
diacritizer=$root/$build/diacritizer/diacritizer
urdu=$root/$build/tools/urdu/urdu

bench_workdir

slots=$(python3 - "$forms" "$words" "$root/bench" <<'PY'
import random, sys
sys.path.insert(0, sys.argv[3])
from wordforms import LETTERS, MARKS
random.seed(11)
forms, count = int(sys.argv[1]), int(sys.argv[2])
m = int(forms / 0.8)

def home(key, m):
    """The home slot as the table format defines it (32-bit wrap)."""
    h, a = 0, 31415
    for c in key:
        h = ((a * h + ord(c)) & 0xFFFFFFFF) % m
        a = ((a * 27183) & 0xFFFFFFFF) % (m - 1)
    return h

# Four letters, then a CJK character that sends the key to slot 0.
bares, seen = [], set()
while len(bares) < forms * 0.95:
    prefix = "".join(random.choice(LETTERS) for _ in range(4))
    h, a = 0, 31415
    for c in prefix:
        h = ((a * h + ord(c)) & 0xFFFFFFFF) % m
        a = ((a * 27183) & 0xFFFFFFFF) % (m - 1)
    x = (a * h) & 0xFFFFFFFF
    c = (-x) % m
    while c < 0x4E00:
        c += m
    if c > 0x9FFF:
        continue
    key = prefix + chr(c)
    if key in seen or home(key, m) != 0:
        continue
    seen.add(key)
    bares.append(key)
# About one in twenty a second form of a bare word.
words, listed = [], set()
while len(words) < forms:
    bare = random.choice(bares) if len(words) >= len(bares) else bares[len(words)]
    word = "".join(c + random.choice(MARKS) for c in bare[:4]) + bare[4]
    if word not in listed:
        listed.add(word)
        words.append(word)
open("words.txt", "w", encoding="utf-8").write("\n".join(words) + "\n")

known = [w.translate({0x64e: None, 0x64f: None, 0x650: None, 0x651: None,
                      0x652: None}) for w in words]
unknown = ["".join(random.choice(LETTERS) for _ in range(4)) for _ in range(1000)]
picked = [random.choice(known) if random.random() < 0.7 else random.choice(unknown)
          for _ in range(count)]
text = "\r\n".join(picked) + "\r\n"
open("lines.txt", "wb").write(b"\xff\xfe" + text.encode("utf-16-le"))
running = []
for i, w in enumerate(picked):
    running.append(w + ("\n" if i % 12 == 11 else " "))
open("bare.txt", "w", encoding="utf-8").write("".join(running))
gold = {w.translate({0x64e: None, 0x64f: None, 0x650: None, 0x651: None,
                     0x652: None}): w for w in words}
open("gold.txt", "w", encoding="utf-8").write(
    "".join(gold.get(w.strip(), w.strip()) + w[len(w.strip()):] for w in running))
print(m)
PY
)
"$urdu" table build words.txt --slots $((slots + 1)) -o normal.lex 2>/dev/null
"$urdu" table build words.txt --slots "$slots" -o onehome.lex 2>/dev/null

# The normal table relinked: the records stay in their slots, the links
# make one chain through all of them, ordered by home and, within a home,
# in their old chain order.
python3 - <<'PY'
import struct
data = bytearray(open("normal.lex", "rb").read())
slots = struct.unpack_from("<i", data, 2)[0]
base, size = 6, 70

def home(key, m):
    h, a = 0, 31415
    for c in key:
        h = ((a * h + c) & 0xFFFFFFFF) % m
        a = ((a * 27183) & 0xFFFFFFFF) % (m - 1)
    return h

def link(s):
    return struct.unpack_from("<i", data, base + s * size + 66)[0]

order = []
for s in range(slots):
    if link(s) == -1:
        continue
    units = struct.unpack_from("<20H", data, base + s * size)
    key = units[:units.index(0)] if 0 in units else units
    if home(key, slots) != s:
        continue
    t = s  # the chain of home s, which the builder never mixes
    while t != -2:
        order.append(t)
        t = link(t)
for a, b in zip(order, order[1:] + [-2]):
    struct.pack_into("<i", data, base + a * size + 66, b)
open("onechain.lex", "wb").write(bytes(data))
PY
for t in onehome onechain; do
  "$urdu" table check "$t.lex" >/dev/null
done
echo "$forms forms, tables of $slots / $((slots + 1)) slots ($(stat -c %s normal.lex) bytes);" \
  "$words words of input"

"$urdu" diacritize --table normal.lex bare.txt > predicted.txt

# run NAME COMMAND...: times COMMAND with each table as @T@ (and as
# wordformshashtable.lex), checks that the outputs (standard output, standard
# error and the file @T@.out) agree, and prints the times and ratios.
run() {
  local name=$1
  shift
  local times=()
  for t in normal onehome onechain; do
    ln -sf "$t.lex" wordformshashtable.lex
    local args=()
    for a in "$@"; do args+=("${a//@T@/$t}"); done
    read -r w _ <<<"$(measure "${args[@]}" 2>/dev/null)"
    times+=("$w")
    "${args[@]}" > "$t.stdout" 2> "$t.stderr"
    [ -e "$t.out" ] || : > "$t.out"
  done
  for t in onehome onechain; do
    for part in stdout stderr out; do
      cmp -s "normal.$part" "$t.$part" ||
        { echo "$name: the $t table gives another $part" >&2; exit 1; }
    done
  done
  rm -f ./*.out
  awk -v l="$name" -v n="${times[0]}" -v h="${times[1]}" -v c="${times[2]}" \
    'BEGIN { printf "%-34s %9.3f %9.3f %9.3f %8.2f %8.2f\n", l, n, h, c, h / n, c / n }'
}
printf '%-34s %9s %9s %9s %8s %8s\n' "wall s" normal "one home" "one chain" \
  "home/n" "chain/n"
run "diacritizer" "$diacritizer" lines.txt @T@.out
run "urdu diacritize" "$urdu" diacritize --table @T@.lex bare.txt
run "urdu diacritize --lines" "$urdu" diacritize --lines --utf16 --table @T@.lex lines.txt
run "urdu diacritize -v" "$urdu" diacritize -v --table @T@.lex bare.txt
run "urdu diacritize --ambiguous all" "$urdu" diacritize --ambiguous all --table @T@.lex bare.txt
run "urdu evaluate --table" "$urdu" evaluate --table @T@.lex --gold gold.txt predicted.txt
echo "(best of ${MEASURE_RUNS:-5} runs, table load included; goal: at most 3x the normal table)"
