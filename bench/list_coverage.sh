#!/usr/bin/env bash
# How much of real edited prose the shipped lexicon knows, by the corpus
# word list bench/corpus/urdu-word-frequencies.tsv (word<TAB>count): each
# word written as often as it counts, then bench/coverage.sh on that text.
#
#   bench/list_coverage.sh [--check PERCENT] [WORDS]
#
# With --check, fails (status 1) when the share of known words is below
# PERCENT, or when a word counted 20 times or more is neither known nor
# named in data/diacritizer/src/not-words.tsv (the words are listed).
# WORDS is the word list (default data/diacritizer/words.txt). Needs urdu
# built in $BUILD_DIR (default build).
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
check=
if [ "${1:-}" = --check ]; then
  [ $# -ge 2 ] || { echo "usage: $0 [--check PERCENT] [WORDS]" >&2; exit 2; }
  check=$2
  shift 2
fi
if [ $# -gt 1 ]; then
  echo "usage: $0 [--check PERCENT] [WORDS]" >&2
  exit 2
fi
words=${1:-$root/data/diacritizer/words.txt}
list=$root/bench/corpus/urdu-word-frequencies.tsv
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
awk -F'\t' '!/^#/ { for (i = 0; i < $2; ++i) print $1 }' "$list" > "$work/text"
line=$(bash "$root/bench/coverage.sh" "$work/text" "$words")
echo "${line/$work\/text/corpus word list}"
[ -z "$check" ] && exit 0

build=${BUILD_DIR:-$root/build}
"$build/tools/urdu/urdu" table build -o "$work/t.lex" "$words" 2>/dev/null
awk -F'\t' '!/^#/ && $2 >= 20 { print $1 }' "$list" > "$work/frequent"
"$build/tools/urdu/urdu" diacritize --no-progress --lines --table "$work/t.lex" \
  --report "$work/report.tsv" -o /dev/null "$work/frequent"
python3 - "$line" "$check" "$work/report.tsv" \
  "$root/data/diacritizer/src/not-words.tsv" <<'PY'
import re, sys
line, want, report, named_file = sys.argv[1:]
share = float(re.search(r"known \(([\d.]+)%\)", line).group(1))
named = set()
for number, text in enumerate(open(named_file, encoding="utf-8"), 1):
    text = text.rstrip("\n")
    if not text or text.startswith("#"):
        continue
    fields = text.split("\t")
    if len(fields) != 2 or not fields[1]:
        sys.exit("not-words.tsv:%d: wants word<TAB>reason" % number)
    named.add(fields[0])
unhandled = []
for text in open(report, encoding="utf-8"):
    fields = text.rstrip("\n").split("\t")
    if len(fields) == 2 and fields[0] not in named:
        unhandled.append(fields[0])
failed = False
if share < float(want):
    print("list_coverage: %.2f%% known, under %s%%" % (share, want))
    failed = True
if unhandled:
    print("list_coverage: %d words counted 20 times or more are neither known "
          "nor in not-words.tsv: %s" % (len(unhandled), " ".join(unhandled[:50])))
    failed = True
sys.exit(1 if failed else 0)
PY
