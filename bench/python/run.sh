#!/usr/bin/env bash
# The Python package against the `urdu` command line: the cost of one call
# on a single word, and diacritizing a large text in one call against
# `urdu diacritize` on the same file, printed side by side.
#
#   bench/python/run.sh [SIZE_MB] [FORMS]      (default 100 200000)
#
# Table and text are made as bench/urdu/run.sh makes them. Builds an
# optimised urdu and Python package in $BUILD_DIR (default build-bench).
set -eu
cd "$(dirname "$0")/../.."
root=$PWD
size_mb=${1:-100}
forms=${2:-200000}
. bench/measure.sh
bench_build -DURDULEX_BUILD_PYTHON=ON urdu urdulex_python_package
python=$(sed -n 's/^Python3_EXECUTABLE:FILEPATH=//p' "$build/CMakeCache.txt")

bench_workdir
"$python" - "$size_mb" "$forms" "$root/bench" <<'PY'
import random, sys
sys.path.insert(0, sys.argv[3])
from wordforms import make_forms, write_running_text
random.seed(7)
bares = make_forms(int(sys.argv[2]), (2, 3, 3, 4, 4, 5, 5, 6, 7))
write_running_text((("input.txt", int(sys.argv[1]) * 1000000),), bares)
PY
"$root/$build/tools/urdu/urdu" table build words.txt -o t.lex 2>/dev/null
echo "table: $(stat -c %s t.lex) bytes ($forms forms); input: $(stat -c %s input.txt) bytes of UTF-8"
PYTHONPATH=$root/$build/python "$python" "$root/bench/python/bench.py" \
  "$root/$build/tools/urdu/urdu" t.lex input.txt
