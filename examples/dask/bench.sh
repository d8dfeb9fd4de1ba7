#!/usr/bin/env bash
# Times diacritize_corpus.py on 2 workers against one `urdu diacritize
# --normalize -j 2` over the same files and against GNU parallel running
# `urdu diacritize --normalize -j 1` a file, each writing the texts, the
# report and the stats; best of RUNS by wall time, with the peak resident
# memory of /usr/bin/time -v (of the largest process: urdu, or the
# example's client or one of its workers) and the CPU time of all the
# processes. Checks that the three give the
# same bytes.
#
#   bench.sh CORPUS URDU [RUNS]     (PYTHONPATH must hold urdulex)
#
# CORPUS: a folder of texts (make_corpus.py); URDU: the program.
set -eu
corpus=$(cd "$1" && pwd)
urdu=$(cd "$(dirname "$2")" && pwd)/$(basename "$2")
runs=${3:-3}
here=$(cd "$(dirname "$0")" && pwd)
# The runs start in the corpus folder: PYTHONPATH made absolute.
absolute=""
IFS=: read -ra entries <<<"${PYTHONPATH:-}"
for entry in "${entries[@]}"; do absolute+="$(realpath "$entry"):"; done
export PYTHONPATH=${absolute%:}
table=$(/usr/bin/python3 -c \
  'import urdulex; print(urdulex.data_file("diacritizer/wordformshashtable.lex"))')
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
files=$(cd "$corpus" && find . -type f | sort)
echo "$files" >"$work/files"
mb=$(du -sm --apparent-size "$corpus" | cut -f1)

# best NAME COMMAND...: runs COMMAND RUNS times (from the corpus folder),
# prints the best wall time and the peak memory of that run.
best() {
  local name=$1 best_s="" best_kb="" best_cpu=""
  shift
  for ((i = 0; i < runs; i++)); do
    rm -rf "$work/out" && mkdir -p "$work/out"
    (cd "$corpus" && /usr/bin/time -v -o "$work/time" "$@" >/dev/null 2>"$work/err") ||
      { cat "$work/err" "$work/time" >&2; exit 1; }
    local wall kb s cpu
    wall=$(sed -n 's/.*Elapsed (wall clock) time (h:mm:ss or m:ss): //p' "$work/time")
    kb=$(sed -n 's/.*Maximum resident set size (kbytes): //p' "$work/time")
    cpu=$(awk -F': ' '/(User|System) time/ { t += $2 } END { print t }' "$work/time")
    s=$(awk -F: '{ t = 0; for (i = 1; i <= NF; i++) t = t * 60 + $i; print t }' <<<"$wall")
    if [ -z "$best_s" ] || awk "BEGIN { exit !($s < $best_s) }"; then
      best_s=$s best_kb=$kb best_cpu=$cpu
    fi
  done
  printf '%-10s %7.2f s %7.1f MB/s %7.2f s CPU %6d MB peak\n' "$name" \
    "$best_s" "$(awk "BEGIN { print $mb / $best_s }")" "$best_cpu" \
    $((best_kb / 1024))
}

echo "$mb MB in $(wc -l <<<"$files") files, best of $runs"
best dask /usr/bin/python3 "$here/diacritize_corpus.py" --table "$table" \
  . "$work/out"
mv "$work/out" "$work/dask"
# shellcheck disable=SC2086  # the file names hold no blanks
best urdu "$urdu" diacritize --normalize -j 2 --table "$table" $files \
  -o "$work/out/all.txt" --report "$work/out/report.tsv" \
  --stats "$work/out/stats.tsv"
mv "$work/out" "$work/one"
best parallel bash -c '
  mkdir -p "$0/shards" &&
  parallel -j 2 -a "$3" "mkdir -p $0/texts/{//} && $1 diacritize --normalize -j 1 \
    --table $2 {} -o $0/texts/{} --report $0/shards/{#}.tsv \
    --stats $0/shards/{#}.stats" &&
  $1 report merge "$0"/shards/*.tsv -o "$0/report.tsv" &&
  $1 report merge "$0"/shards/*.stats -o "$0/stats.tsv"' \
  "$work/out" "$urdu" "$table" "$work/files"
# The same texts and sums.
for f in $files; do cat "$work/dask/$f"; done | cmp - "$work/one/all.txt"
for f in $files; do cmp "$work/dask/$f" "$work/out/texts/$f"; done
for sum in report.tsv stats.tsv; do
  [ -e "$work/dask/$sum" ] || { echo "(no $sum from dask)"; continue; }
  cmp "$work/dask/$sum" "$work/one/$sum"
  cmp "$work/dask/$sum" "$work/out/$sum"
done
cmp "$work/one/stats.tsv" "$work/out/stats.tsv"
cmp "$work/one/report.tsv" "$work/out/report.tsv"
echo "same bytes"
