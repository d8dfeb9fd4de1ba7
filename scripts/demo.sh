#!/usr/bin/env bash
# Sets up the machine, builds the programs and runs them on the shipped
# sample data, showing input and output.
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
