#!/usr/bin/env bash
# Times codemapper against iconv (UTF-16LE -> UTF-8) on the same generated
# input and prints the ratio, then checks that peak memory stays flat as the
# input grows.
#
#   bench/codemapper/run.sh [SIZE_MB]      (default 100)
#
# Builds an optimised codemapper in build-bench/ first.
set -eu
cd "$(dirname "$0")/../.."
root=$PWD
size_mb=${1:-100}
. bench/measure.sh
bench_build codemapper
prog=$PWD/$build/codemapper/codemapper

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$root/data/codemapper/rules.txt" "$work/"

# Input: the sample text repeated up to the wanted size, with the mark.
make_input() {  # $1 = size in MB, $2 = file
  iconv -f UTF-8 -t UTF-16LE "$root/data/codemapper/sample.txt" > "$work/chunk"
  local chunk_size reps
  chunk_size=$(stat -c %s "$work/chunk")
  reps=$(( $1 * 1024 * 1024 / chunk_size + 1 ))
  { printf '\xff\xfe'; for _ in $(seq "$reps"); do cat "$work/chunk"; done; } > "$2"
}
make_input "$size_mb" "$work/in.txt"
echo "input: $(stat -c %s "$work/in.txt") bytes"

cd "$work"
read -r t_map _ rss_full <<<"$(measure "$prog" in.txt out.txt)"
read -r t_iconv _ _ <<<"$(measure iconv -f UTF-16LE -t UTF-8 -o iconv.txt in.txt)"
awk -v m="$t_map" -v i="$t_iconv" 'BEGIN {
  printf "codemapper: %.3f s\niconv:      %.3f s\nratio:      %.2fx iconv\n", m, i, m / i }'

# Peak resident memory at a quarter of the size and at the full size.
make_input $(( size_mb / 4 + 1 )) small.txt
read -r _ _ rss_small <<<"$(measure "$prog" small.txt out.txt)"
echo "peak RSS: ${rss_small} KiB ($(( size_mb / 4 + 1 )) MB input), ${rss_full} KiB (${size_mb} MB input)"
