#!/usr/bin/env bash
# Sets up the machine, builds everything and runs every test.
#   BUILD_DIR   build folder (default: build)
#   CMAKE_ARGS  extra arguments for the CMake configure step
set -eu
cd "$(dirname "$0")/.."
bash scripts/setup.sh
BUILD_DIR=${BUILD_DIR:-build}
# shellcheck disable=SC2086
cmake -S . -B "$BUILD_DIR" -G Ninja -DURDULEX_BUILD_TESTS=ON -DURDULEX_BUILD_FUZZERS=ON ${CMAKE_ARGS:-} >/dev/null
cmake --build "$BUILD_DIR"
ctest --test-dir "$BUILD_DIR" --output-on-failure -j2
