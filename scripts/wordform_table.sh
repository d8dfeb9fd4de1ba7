#!/usr/bin/env bash
# Writes a word-form table from a word list with `urdu table build` of the
# given build folder. Prints the builder's summary line.
#   scripts/wordform_table.sh BUILD_DIR LIST OUTPUT
set -eu

if [ $# -ne 3 ]; then
  echo "usage: $0 BUILD_DIR LIST OUTPUT" >&2
  exit 2
fi
urdu=$1/tools/urdu/urdu
if [ ! -x "$urdu" ]; then
  echo "wordform_table: no urdu program in $1 (tools/urdu/urdu)" >&2
  exit 1
fi
exec "$urdu" table build "$2" -o "$3"
