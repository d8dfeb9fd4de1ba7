#!/usr/bin/env bash
# Builds everything with ThreadSanitizer in its own folder and runs every
# test there but the Python package's (which a sanitized library cannot be
# loaded into) and the fuzz targets' (which the ASan/UBSan build and
# scripts/fuzz.sh run): the threads of the programs, of ParallelLines and
# of the API's concurrent-use tests, checked for data races. Fails on the
# first race report.
#   BUILD_DIR   build folder (default: build-tsan)
#   CMAKE_ARGS  extra arguments for the CMake configure step
set -eu
cd "$(dirname "$0")/.."
bash scripts/setup.sh
BUILD_DIR=${BUILD_DIR:-build-tsan}
# A report ends the run with this status, told apart from a test's own
# failures; the stack of the other access of a race is kept.
export TSAN_OPTIONS=${TSAN_OPTIONS:-halt_on_error=1:exitcode=66:second_deadlock_stack=1:history_size=4}
# Optimized, with the debug information the reports need: a debug build
# under ThreadSanitizer would take far longer than the races are worth.
# shellcheck disable=SC2086
cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DURDULEX_SANITIZE_THREAD=ON -DURDULEX_BUILD_TESTS=ON \
  -DURDULEX_BUILD_FUZZERS=OFF -DURDULEX_BUILD_PYTHON=OFF ${CMAKE_ARGS:-} >/dev/null
cmake --build "$BUILD_DIR" -j2
ctest --test-dir "$BUILD_DIR" --output-on-failure -j2 -E '^python_|_seeds$'
