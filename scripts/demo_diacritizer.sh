#!/usr/bin/env bash
# Shows the diacritizer at work on the shipped sample lexicon.
#   scripts/demo_diacritizer.sh BUILD_DIR
# Builds "wordformshashtable.lex" from data/diacritizer/words.txt with
# `urdu table build` in a scratch folder, runs diacritizer there on
# data/diacritizer/sample.txt (converted to 16-bit Unicode), and prints each
# input line beside its output line, in UTF-8. Builds nothing itself.
set -eu

if [ $# -ne 1 ]; then
  echo "usage: $0 BUILD_DIR" >&2
  exit 2
fi
root=$(cd "$(dirname "$0")/.." && pwd)
if [ ! -d "$1" ]; then
  echo "demo_diacritizer: no build folder $1" >&2
  exit 1
fi
build=$(cd "$1" && pwd)
urdu=$build/tools/urdu/urdu
diacritizer=$build/diacritizer/diacritizer
for program in "$urdu" "$diacritizer"; do
  if [ ! -x "$program" ]; then
    echo "demo_diacritizer: $program is not built" >&2
    exit 1
  fi
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

if ! summary=$(cd "$work" && "$urdu" table build \
    "$root/data/diacritizer/words.txt" -o wordformshashtable.lex 2>&1); then
  echo "$summary" >&2
  exit 1
fi
echo "$summary"
{ printf '\377\376'; iconv -f UTF-8 -t UTF-16LE "$root/data/diacritizer/sample.txt"; } \
  >"$work/input.txt"
(cd "$work" && "$diacritizer" input.txt output.txt)

# The output is 16-bit with CR LF line ends; show both sides as UTF-8, each
# line in brackets so that blanks and empty lines stay visible.
iconv -f UTF-16 -t UTF-8 "$work/output.txt" | tr -d '\r' >"$work/output.utf8"
echo "input line  ->  diacritizer output"
paste -d '|' "$root/data/diacritizer/sample.txt" "$work/output.utf8" |
  while IFS='|' read -r input output; do
    printf '[%s]  ->  [%s]\n' "$input" "$output"
  done
