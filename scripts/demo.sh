#!/usr/bin/env bash
# Sets up the machine, builds the programs and runs them on the shipped
# sample data, showing input and output: diacritizer, codemapper, and the
# urdu command line in a pipeline.
#   BUILD_DIR   build folder (default: build)
set -eu
cd "$(dirname "$0")/.."
root=$PWD
bash scripts/setup.sh
BUILD_DIR=${BUILD_DIR:-build}
cmake -S . -B "$BUILD_DIR" -G Ninja >/dev/null
cmake --build "$BUILD_DIR" >/dev/null
build=$(cd "$BUILD_DIR" && pwd)

if [ -x scripts/demo_diacritizer.sh ]; then
  bash scripts/demo_diacritizer.sh "$build"
  echo
fi

echo "== codemapper: data/codemapper/sample.txt with data/codemapper/rules.txt =="
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp data/codemapper/rules.txt "$work/"
{ printf '\xff\xfe'; iconv -f UTF-8 -t UTF-16LE data/codemapper/sample.txt; } > "$work/sample.u16"
(cd "$work" && "$build/codemapper/codemapper" sample.u16 codes.txt)
paste -d '\n' "$root/data/codemapper/sample.txt" "$work/codes.txt" | sed 's/^/  /'

echo
echo "== urdu uzt: the sample text to UZT with the test mapping, and back =="
urdu=$build/tools/urdu/urdu
mapping=data/uzt/test-mapping.txt
"$urdu" uzt encode --mapping "$mapping" -o "$work/sample.uzt" data/codemapper/sample.txt
"$urdu" uzt decode --mapping "$mapping" -o "$work/back.txt" "$work/sample.uzt"
echo "  $(stat -c %s data/codemapper/sample.txt) bytes of UTF-8 -> $(stat -c %s "$work/sample.uzt") bytes of UZT; first line:"
head -n 1 "$work/sample.uzt" | od -An -tx1 | head -n 3 | sed 's/^/ /'
if cmp -s data/codemapper/sample.txt "$work/back.txt"; then
  echo "  decoded back to the same text"
else
  echo "  decoded text differs from the input" >&2
  exit 1
fi

echo
echo "== urdulex-normalize: data/normalization/sample.txt with the shipped NFC rules =="
cp data/normalization/config.ini data/normalization/nfc-urdu.txt "$work/"
(cd "$work" && "$build/tools/normalize/urdulex-normalize" "$root/data/normalization/sample.txt" nfc.txt)
paste -d '\n' <(tail -c +3 data/normalization/sample.txt | iconv -f UTF-16LE -t UTF-8 | tr -d '\r') \
               <(tail -c +3 "$work/nfc.txt" | iconv -f UTF-16LE -t UTF-8 | tr -d '\r') |
  awk 'NR % 2 { print "  in:  " $0; next } { print "  out: " $0 }'

echo
echo "== urdu: running text through a pipeline, and the result evaluated =="
# A hand-diacritized text stripped of its marks, diacritized again with the
# table built from the sample lexicon, and compared with the original.
"$urdu" table build -o "$work/t.lex" data/diacritizer/words.txt 2>/dev/null
"$urdu" strip data/urdu/gold.txt |
  "$urdu" diacritize --table "$work/t.lex" --report "$work/report.tsv" -v \
  > "$work/diacritized.txt"
head -n 2 "$work/diacritized.txt" | sed 's/^/  /'
# The report lists the unknown words (two fields), then the words with
# several forms (three fields), each most frequent first.
echo "  most frequent unknown words:"
awk -F '\t' 'NF == 2' "$work/report.tsv" | head -n 3 | sed 's/^/    /'
echo "  most frequent words with several forms (the first is written):"
awk -F '\t' 'NF == 3' "$work/report.tsv" | head -n 3 | sed 's/^/    /'
"$urdu" evaluate --gold data/urdu/gold.txt --table "$work/t.lex" \
  "$work/diacritized.txt" | sed 's/^/  /'
