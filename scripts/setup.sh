#!/usr/bin/env bash
# Installs, on Debian, what building and testing need and is missing.
# Idempotent; prints nothing when everything is already there.
set -eu

missing=()
need_cmd() { command -v "$1" >/dev/null 2>&1 || missing+=("$2"); }
need_file() { [ -e "$1" ] || missing+=("$2"); }
# need_glob PATTERN PACKAGE: some file matches the shell pattern.
need_glob() { compgen -G "$1" >/dev/null || missing+=("$2"); }
# need_python_module MODULE PACKAGE: Debian's Python imports the module.
need_python_module() {
  /usr/bin/python3 -c "import $1" >/dev/null 2>&1 || missing+=("$2")
}

need_cmd cmake cmake
need_cmd ninja ninja-build
need_cmd g++ g++
need_cmd clang-format clang-format
need_cmd iconv libc-bin
need_cmd python3 python3
need_file /usr/include/gtest/gtest.h libgtest-dev
need_file /usr/include/gmock/gmock.h libgmock-dev
need_file /usr/include/benchmark/benchmark.h libbenchmark-dev
need_file /usr/include/unicode/normalizer2.h libicu-dev
# The Python package (python/): pybind11 and pytest of Debian's Python, and
# venv (with pip) for installing the wheel or, with `pip install
# --no-build-isolation .`, the source tree: its build backend needs no
# Python package, only cmake, g++ and these.
need_glob '/usr/include/python3*/Python.h' python3-dev
need_file /usr/lib/cmake/pybind11/pybind11Config.cmake pybind11-dev
need_glob '/usr/lib/python3/dist-packages/pybind11/__init__.py' python3-pybind11
need_glob '/usr/lib/python3/dist-packages/pytest/__init__.py' python3-pytest
need_glob '/usr/share/python-wheels/pip-*.whl' python3-venv
# Fuzzing (scripts/fuzz.sh), memcheck (scripts/valgrind.sh), peak memory
# (scripts/bigfile.sh).
command -v clang++ >/dev/null 2>&1 || need_cmd clang++-14 clang-14
need_glob '/usr/lib/llvm-14/lib/clang/*/lib/linux/libclang_rt.fuzzer-x86_64.a' libclang-rt-14-dev
need_cmd valgrind valgrind
need_file /usr/bin/time time
# Sharding a corpus over processes and machines (doc/scaling.md).
need_cmd parallel parallel
# ... and over a Dask cluster (examples/dask).
need_python_module dask.bag python3-dask
need_python_module distributed python3-distributed
need_cmd pkg-config pkgconf

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

if [ "$(id -u)" -ne 0 ]; then
  SUDO=sudo
else
  SUDO=
fi
echo "setup: installing ${missing[*]}" >&2
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq >/dev/null
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
