#!/usr/bin/env bash
# Times urdu diacritize, normalize, strip and codes on one corpus run as
# one process, and sharded by GNU parallel into 1, 2 and 4 blocks at line
# ends, each block a process (-j = the shards), outputs joined in order;
# checks that every sharded output is byte for byte the one-process
# output, and prints the times and the speed-ups (doc/scaling.md).
#
#   bench/scaling/run.sh [SIZE_MB] [FORMS]      (default 100 200000)
#
# The corpus is the running text of bench/urdu/run.sh (SIZE_MB MB of
# UTF-8, a table of FORMS generated forms). Two ways to cut it: --pipe,
# which streams standard input through parallel, and --pipepart, which
# has each process read its part of the file itself. Builds an optimised
# urdu in $BUILD_DIR (default build-bench) first.
set -eu
cd "$(dirname "$0")/../.."
root=$PWD
size_mb=${1:-100}
forms=${2:-200000}
. bench/measure.sh
bench_build urdu
urdu=$root/$build/tools/urdu/urdu

bench_workdir

python3 - "$size_mb" "$forms" "$root/bench" <<'PY'
import random, sys
sys.path.insert(0, sys.argv[3])
from wordforms import make_forms, write_running_text
random.seed(7)
size = int(sys.argv[1]) * 1000000
bares = make_forms(int(sys.argv[2]), (2, 3, 3, 4, 4, 5, 5, 6, 7))
write_running_text((("corpus.txt", size),), bares, whole_lines=True)
PY
"$urdu" table build words.txt -o t.lex 2>/dev/null
bytes=$(stat -c %s corpus.txt)
echo "corpus: $bytes bytes of UTF-8; table: $(stat -c %s t.lex) bytes ($forms forms);" \
  "$(nproc) cores"

export MEASURE_RUNS=${MEASURE_RUNS:-3}

printf '%-30s %9s %9s %9s %9s\n' "wall s (speed-up)" one "1 shard" "2 shards" "4 shards"
# One thread each (-j 1): the processes are what is measured.
for cmd in "diacritize -j 1 --table t.lex" "normalize -j 1" "strip -j 1" "codes -j 1"; do
  # shellcheck disable=SC2086
  "$urdu" $cmd corpus.txt > one.txt
  # shellcheck disable=SC2086
  read -r one _ <<<"$(measure "$urdu" $cmd corpus.txt)"
  for way in pipe pipepart; do
    row=$(printf '%-30s %9.3f' "urdu ${cmd%% *} --$way" "$one")
    for shards in 1 2 4; do
      block=$(( (bytes + shards - 1) / shards ))
      if [ $way = pipe ]; then
        run=(sh -c 'parallel --will-cite --pipe --block "$1" -j "$2" -k "$3" $4 < corpus.txt' \
             sh "$block" "$shards" "$urdu" "$cmd")
      else
        run=(sh -c 'parallel --will-cite --pipepart -a corpus.txt --block "$1" -j "$2" -k "$3" $4' \
             sh "$block" "$shards" "$urdu" "$cmd")
      fi
      "${run[@]}" > sharded.txt
      cmp -s one.txt sharded.txt ||
        { echo "urdu $cmd: $shards shards by --$way give another output" >&2; exit 1; }
      read -r w _ <<<"$(measure "${run[@]}")"
      row+=$(awk -v w="$w" -v o="$one" 'BEGIN { printf " %5.2f (%.1f)", w, o / w }')
    done
    echo "$row"
  done
done
echo "(best of $MEASURE_RUNS runs; speed-up: one process's time over the sharded time)"
