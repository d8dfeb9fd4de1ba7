#!/usr/bin/env bash
# Installs the package from the source tree into a fresh virtual environment
# with pip, as the README says, and runs the Python tests with it there.
#   pip_install.sh SOURCE_DIR PYTHON PYBIND11_DIR
# Exits 77 (skipped) when PYBIND11_DIR holds no pybind11 CMake package.
set -eu
source_dir=$1 python=$2 pybind11_dir=$3
if [ ! -e "$pybind11_dir/pybind11Config.cmake" ]; then
  echo "no pybind11 for CMake: skipped" >&2
  exit 77
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# The system's site packages give the tests pytest; the package comes from
# the build below, not from a build tree.
unset PYTHONPATH URDULEX_DATA
export PIP_DISABLE_PIP_VERSION_CHECK=1
"$python" -m venv --system-site-packages "$work/v"
"$work/v/bin/pip" install -q --no-build-isolation --no-index "$source_dir"
cd "$work"
"$work/v/bin/python" -c 'import sys, urdulex
assert urdulex.__file__.startswith(sys.prefix), urdulex.__file__'
"$work/v/bin/python" -m pytest -q -p no:cacheprovider "$source_dir/python/tests"
