#!/usr/bin/env bash
# Writes a word-form table from a word list with whichever table builder the
# build folder holds: the `urdu` program's "table build" when it is there,
# else the older wordforms tool. Prints the builder's summary line.
#   scripts/wordform_table.sh BUILD_DIR LIST OUTPUT
set -eu

if [ $# -ne 3 ]; then
  echo "usage: $0 BUILD_DIR LIST OUTPUT" >&2
  exit 2
fi
build=$1
urdu=$(find "$build" -type f -name urdu -perm -u+x 2>/dev/null | head -n 1)
if [ -n "$urdu" ]; then
  exec "$urdu" table build "$2" -o "$3"
fi
wordforms=$build/tools/wordforms/wordforms
if [ -x "$wordforms" ]; then
  exec "$wordforms" build "$2" -o "$3"
fi
echo "wordform_table: no table builder in $build (urdu or tools/wordforms/wordforms)" >&2
exit 1
