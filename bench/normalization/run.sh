#!/usr/bin/env bash
# Times Normalization::Normalize with the shipped NFC rules against ICU's NFC
# Normalizer2 on the same generated Urdu text, side by side in one run, and
# prints both speeds in characters per second and their ratio (the goal: 1
# or more).
#
#   bench/normalization/run.sh [MILLION_CHARACTERS]      (default 50)
#
# Builds an optimised benchmark in build-bench/ first.
set -eu
cd "$(dirname "$0")/../.."
size=${1:-50}
. bench/measure.sh
bench_build -DURDULEX_BUILD_BENCHMARKS=ON normalization_bench
"$build"/bench/normalization/normalization_bench \
  data/normalization/config.ini "$size"
