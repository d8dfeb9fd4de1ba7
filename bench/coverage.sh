#!/usr/bin/env bash
# How much of a text the lexicon knows: the share of its Arabic-script words
# (words holding at least one Arabic-script letter) whose bare form the
# word-form table built from the lexicon has.
#
#   bench/coverage.sh TEXT [WORDS]
#
# WORDS is the word list (default data/diacritizer/words.txt); the table is
# built from it with `urdu table build` in a scratch folder, and TEXT is run
# through `urdu diacritize -v --report`. Digits and Latin words are words
# to the tokenizer but never in the table; they are taken out of the count
# here. A word over 1024 UTF-16 units (never in a table) counts as an
# unknown Arabic-script word. Needs urdu built in $BUILD_DIR (default build).
set -eu
if [ $# -lt 1 ] || [ $# -gt 2 ]; then
  echo "usage: $0 TEXT [WORDS]" >&2
  exit 2
fi
root=$(cd "$(dirname "$0")/.." && pwd)
text=$1
words=${2:-$root/data/diacritizer/words.txt}
build=${BUILD_DIR:-$root/build}
urdu=$build/tools/urdu/urdu
if [ ! -x "$urdu" ]; then
  echo "coverage: $urdu is not built" >&2
  exit 1
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

"$urdu" table build -o "$work/t.lex" "$words" 2>/dev/null
summary=$("$urdu" diacritize --no-progress -v --table "$work/t.lex" \
  --report "$work/report.tsv" -o /dev/null "$text" 2>&1)
python3 - "$text" "$summary" "$work/report.tsv" <<'PY'
import re, sys
name, summary, report = sys.argv[1], sys.argv[2], sys.argv[3]
m = re.search(r"(\d+) Urdu words, (\d+) known \S+ (\d+) unknown, "
              r"(\d+) ambiguous; (\d+) other tokens", summary)
if not m:
    sys.exit("coverage: unexpected summary from urdu: " + summary)
words, known, unknown, ambiguous, other = map(int, m.groups())

def arabic_letter(c):
    o = ord(c)
    return (0x0621 <= o <= 0x063A or 0x0641 <= o <= 0x064A or
            0x066E <= o <= 0x066F or 0x0671 <= o <= 0x06D3 or o == 0x06D5 or
            0x06EE <= o <= 0x06EF or 0x06FA <= o <= 0x06FC or o == 0x06FF or
            0x0750 <= o <= 0x077F)

# The unknown words are the report's lines of two fields.
distinct = 0
for line in open(report, encoding="utf-8"):
    fields = line.rstrip("\n").split("\t")
    if len(fields) == 2 and any(arabic_letter(c) for c in fields[0]):
        distinct += 1
share = 100.0 * known / words if words else 0.0
print(f"{name}: {words} Arabic-script words, {known} known ({share:.2f}%), "
      f"{words - known} unknown ({distinct} distinct), {ambiguous} ambiguous; "
      f"{other} other tokens left out")
PY
