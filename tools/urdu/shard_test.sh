#!/usr/bin/env bash
# The line commands of urdu are stateless filters over read-only data files,
# so a corpus cut into blocks at line ends by GNU parallel, each block run
# by its own process, and the outputs joined in order gives byte for byte
# the output of one run (doc/scaling.md). Checked for diacritize,
# normalize, strip and codes, with several block sizes, a block smaller
# than some lines, and through --sshlogin ':' (this machine, as a remote
# one is named).
#
#   shard_test.sh URDU SOURCE_DIR
#
# Exits 77 (skipped) when GNU parallel is not installed (scripts/setup.sh
# installs it).
set -eu
urdu=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
src=$(cd "$2" && pwd)
if ! parallel --version 2>/dev/null | grep -q 'GNU parallel'; then
  echo "GNU parallel is not installed (scripts/setup.sh installs it)" >&2
  exit 77
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

# About 1.3 MB: the prose, the diacritized word list's words one a line,
# lines ended by CR LF, a line longer than the smallest block (parallel
# then takes a larger one), and a last line without its LF.
cut -f1 "$src/data/diacritizer/words.txt" > words.txt
for i in $(seq 20); do
  cat "$src/data/urdu/prose.txt"
  [ $((i % 5)) -ne 0 ] || sed 's/$/\r/' "$src/data/urdu/prose.txt"
  [ $((i % 6)) -ne 0 ] || cat words.txt
done > corpus.txt
awk '{ printf "%s ", $0 }' words.txt >> corpus.txt
printf '\n%s' "$(head -c 300 "$src/data/urdu/prose.txt" | head -n 1)" >> corpus.txt

"$urdu" table build "$src/data/diacritizer/words.txt" -o t.lex 2>/dev/null
config="$src/data/normalization/config.ini"
codes="$src/data/codemapper/rules.txt"
commands=(
  "diacritize --table t.lex"
  "diacritize --ambiguous all --table t.lex"
  "normalize --config $config"
  "strip"
  "codes --table $codes"
)
failed=0
for cmd in "${commands[@]}"; do
  # shellcheck disable=SC2086
  "$urdu" $cmd corpus.txt > one.txt
  for way in "--block 64k" "--block 256k -j 4" "--block 128k -S :"; do
    # shellcheck disable=SC2086
    if ! parallel --will-cite --pipe $way -k "$urdu" $cmd < corpus.txt \
        > sharded.txt 2> parallel.log; then
      echo "FAIL: urdu $cmd: parallel $way failed:" >&2
      cat parallel.log >&2
      failed=1
    elif ! cmp -s one.txt sharded.txt; then
      echo "FAIL: urdu $cmd: parallel $way gives another output" >&2
      failed=1
    fi
  done
done
[ "$(wc -c < corpus.txt)" -gt 1000000 ] || { echo "FAIL: corpus too small" >&2; failed=1; }
exit $failed
