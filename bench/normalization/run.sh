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
bash scripts/setup.sh
cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DURDULEX_BUILD_TESTS=OFF -DURDULEX_BUILD_BENCHMARKS=ON >/dev/null
cmake --build build-bench --target normalization_bench >/dev/null
build-bench/bench/normalization/normalization_bench \
  data/normalization/config.ini "$size"
