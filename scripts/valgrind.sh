#!/usr/bin/env bash
# Runs codemapper, diacritizer and `urdu diacritize` under valgrind's
# memcheck on the shipped sample data, and on a few failing runs (missing
# input, corrupt data files), so that the error paths are checked for leaks
# too. The word-form table is made with `urdu table build`. Fails on any
# memory error or leak, and when a run under valgrind writes other output
# than the same run without it.
#   BUILD_DIR   build folder, made without sanitizers (default: build)
set -eu
cd "$(dirname "$0")/.."
root=$PWD
BUILD_DIR=${BUILD_DIR:-build}

bash scripts/setup.sh
if ! command -v valgrind >/dev/null 2>&1; then
  echo "valgrind: not installed; memcheck runs skipped"
  exit 0
fi
cmake -S . -B "$BUILD_DIR" -G Ninja >/dev/null
cmake --build "$BUILD_DIR" -j2 >/dev/null
build=$(cd "$BUILD_DIR" && pwd)
codemapper=$build/codemapper/codemapper
diacritizer=$build/diacritizer/diacritizer
urdu=$build/tools/urdu/urdu

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/cm" "$work/dc"
cp data/codemapper/rules.txt "$work/cm/"
{ printf '\xff\xfe'; iconv -f UTF-8 -t UTF-16LE data/codemapper/sample.txt; } >"$work/cm/in.txt"
if ! summary=$(bash scripts/wordform_table.sh "$build" \
    "$root/data/diacritizer/words.txt" "$work/dc/wordformshashtable.lex" 2>&1); then
  echo "$summary" >&2
  exit 1
fi
{ printf '\xff\xfe'; iconv -f UTF-8 -t UTF-16LE data/diacritizer/sample.txt; } >"$work/dc/in.txt"

# Memory errors and leaks exit with this status, told apart from the
# program's own failure status 1 in the runs that are meant to fail.
leak_status=99
memcheck=(valgrind -q --tool=memcheck --leak-check=full --error-exitcode=1)
failures=0

# check NAME DIR EXPECTED_STATUS PROGRAM ARGS...: one run in DIR.
check() {
  local name=$1 dir=$2 expected=$3
  shift 3
  local status=0
  local error_exit=1
  [ "$expected" -ne 0 ] && error_exit=$leak_status
  (cd "$dir" && "${memcheck[@]}" --error-exitcode=$error_exit "$@") \
    >"$work/log" 2>&1 || status=$?
  if [ "$status" -ne "$expected" ]; then
    echo "valgrind: $name: status $status, expected $expected" >&2
    sed 's/^/    /' "$work/log" >&2
    failures=$((failures + 1))
  else
    echo "valgrind: $name: clean"
  fi
}

check "codemapper on the sample" "$work/cm" 0 "$codemapper" in.txt out.txt
(cd "$work/cm" && "$codemapper" in.txt plain.txt)
if ! cmp -s "$work/cm/out.txt" "$work/cm/plain.txt"; then
  echo "valgrind: codemapper output differs under valgrind" >&2
  failures=$((failures + 1))
fi
check "diacritizer on the sample" "$work/dc" 0 "$diacritizer" in.txt out.txt
(cd "$work/dc" && "$diacritizer" in.txt plain.txt)
if ! cmp -s "$work/dc/out.txt" "$work/dc/plain.txt"; then
  echo "valgrind: diacritizer output differs under valgrind" >&2
  failures=$((failures + 1))
fi

check "codemapper, missing input" "$work/cm" 1 "$codemapper" missing.txt out2.txt
check "diacritizer, missing input" "$work/dc" 1 "$diacritizer" missing.txt out2.txt
check "codemapper, full disk" "$work/cm" 1 "$codemapper" in.txt /dev/full
check "diacritizer, full disk" "$work/dc" 1 "$diacritizer" in.txt /dev/full
# A code table cut right after a CR fails in the reader; one whose last
# line has no CR LF is loaded and then refused by the program.
cp "$work/cm/rules.txt" "$work/cm/rules.good"
printf '\xff\xfe\x27\x06:\x001\x000\x00\r\x00' >"$work/cm/rules.txt"
check "codemapper, code table cut after a CR" "$work/cm" 1 "$codemapper" in.txt out2.txt
{ cat "$work/cm/rules.good"; printf '\x28\x06:\x001\x00'; } >"$work/cm/rules.txt"
check "codemapper, code table without a last line end" "$work/cm" 1 "$codemapper" in.txt out2.txt
# A table that ends inside a later record is loaded and then refused by the
# program; one that ends inside its first record's key (mark, header, 11
# bytes) fails in the loader.
cp "$work/dc/wordformshashtable.lex" "$work/dc/table.good"
head -c -35 "$work/dc/table.good" >"$work/dc/wordformshashtable.lex"
check "diacritizer, table cut inside its last record" "$work/dc" 1 "$diacritizer" in.txt out2.txt
head -c 17 "$work/dc/table.good" >"$work/dc/wordformshashtable.lex"
check "diacritizer, table cut inside its first key" "$work/dc" 1 "$diacritizer" in.txt out2.txt

# urdu diacritize on the sample as UTF-8 text, and on the table cut inside
# its last record.
head -c -35 "$work/dc/table.good" >"$work/dc/cut.lex"
check "urdu diacritize on the sample" "$work/dc" 0 "$urdu" diacritize \
  --table table.good "$root/data/diacritizer/sample.txt" -o urdu.txt
(cd "$work/dc" && "$urdu" diacritize --table table.good \
  "$root/data/diacritizer/sample.txt" -o urdu-plain.txt)
if ! cmp -s "$work/dc/urdu.txt" "$work/dc/urdu-plain.txt"; then
  echo "valgrind: urdu diacritize output differs under valgrind" >&2
  failures=$((failures + 1))
fi
check "urdu diacritize, table cut inside its last record" "$work/dc" 1 "$urdu" \
  diacritize --table cut.lex "$root/data/diacritizer/sample.txt" -o urdu2.txt

if [ "$failures" -ne 0 ]; then
  echo "valgrind: $failures run(s) failed" >&2
  exit 1
fi
