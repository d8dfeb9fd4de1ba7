#!/usr/bin/env bash
# Runs codemapper and diacritizer on a large 16-bit input (1 GB by default)
# and on a small one, and prints the peak resident memory of each run, to
# show that memory stays flat as the input grows. The input is the shipped
# sample text, repeated; the big files are deleted at the end. Not part of
# CI: it needs about three times the input size in free disk space.
#   scripts/bigfile.sh [MEGABYTES]     input size (default: 1024)
#   BUILD_DIR   build folder, made without sanitizers (default: build)
#   WORK_DIR    folder for the big files (default: a new folder in build)
set -eu
cd "$(dirname "$0")/.."
root=$PWD
megabytes=${1:-1024}
case $megabytes in
  '' | *[!0-9]*)
    echo "usage: $0 [MEGABYTES]" >&2
    exit 2
    ;;
esac
BUILD_DIR=${BUILD_DIR:-build}

bash scripts/setup.sh
cmake -S . -B "$BUILD_DIR" -G Ninja >/dev/null
cmake --build "$BUILD_DIR" -j2 >/dev/null
build=$(cd "$BUILD_DIR" && pwd)
work=${WORK_DIR:-$(mktemp -d "$build/bigfile.XXXXXX")}
mkdir -p "$work"
trap 'rm -rf "$work"' EXIT

need_kb=$((megabytes * 1024 * 3 + 65536))
free_kb=$(df -Pk "$work" | awk 'NR == 2 { print $4 }')
if [ "$free_kb" -lt "$need_kb" ]; then
  echo "bigfile: $work has $((free_kb / 1024)) MB free, $((need_kb / 1024)) MB needed" >&2
  exit 1
fi

cp data/codemapper/rules.txt "$work/"
if ! summary=$(bash scripts/wordform_table.sh "$build" \
    "$root/data/diacritizer/words.txt" "$work/wordformshashtable.lex" 2>&1); then
  echo "$summary" >&2
  exit 1
fi

# One block of lines: the diacritizer sample (one word a line) and the
# codemapper sample (running text), CR LF line ends.
cat data/diacritizer/sample.txt data/codemapper/sample.txt | sed 's/$/\r/' |
  iconv -f UTF-8 -t UTF-16LE >"$work/block"
# Grow the block to about 1 MB by doubling, then the input to its size.
while [ "$(stat -c %s "$work/block")" -lt 1048576 ]; do
  cat "$work/block" "$work/block" >"$work/block2"
  mv "$work/block2" "$work/block"
done
make_input() {  # make_input FILE MEGABYTES
  local block_size
  block_size=$(stat -c %s "$work/block")
  local count=$((($2 * 1048576 + block_size - 1) / block_size))
  {
    printf '\xff\xfe'
    for ((i = 0; i < count; ++i)); do cat "$work/block"; done
  } >"$1"
}

# run LABEL PROGRAM INPUT: one run in the work folder; prints the input
# size, wall time and peak resident memory.
run() {
  local label=$1 program=$2 input=$work/$3
  local out=$work/out
  local seconds peak_kb in_mb out_mb
  (cd "$work" && /usr/bin/time -f '%e %M' -o "$work/time" \
    "$program" "$3" out) ||
    { echo "bigfile: $label failed" >&2; exit 1; }
  read -r seconds peak_kb <"$work/time"
  in_mb=$(($(stat -c %s "$input") / 1048576))
  out_mb=$(($(stat -c %s "$out") / 1048576))
  printf '%-24s input %6d MB  output %6d MB  %7.2f s  peak RSS %7.1f MB\n' \
    "$label" "$in_mb" "$out_mb" "$seconds" "$(awk -v k="$peak_kb" 'BEGIN { print k / 1024 }')"
  rm -f "$out"
}

make_input "$work/small.u16" 16
run "codemapper small" "$build/codemapper/codemapper" small.u16
run "diacritizer small" "$build/diacritizer/diacritizer" small.u16
rm -f "$work/small.u16"
make_input "$work/big.u16" "$megabytes"
run "codemapper big" "$build/codemapper/codemapper" big.u16
run "diacritizer big" "$build/diacritizer/diacritizer" big.u16
