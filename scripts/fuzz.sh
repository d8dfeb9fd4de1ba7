#!/usr/bin/env bash
# Builds every fuzz target with clang, libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer, then runs each in turn for a fixed time and
# prints one summary line per target. Fails if any target crashes, leaks,
# times out or runs out of memory; the input that did it is kept in the
# build folder.
#
#   scripts/fuzz.sh [SECONDS]      seconds per target (default: $FUZZ_SECONDS or 30)
#
#   BUILD_DIR         build folder (default: build-fuzz)
#   FUZZ_SECONDS      seconds per target when no argument is given
#   FUZZ_TARGETS      folder names under fuzz/ to run (default: all)
#   FUZZ_MAX_LEN      input size cap for targets whose CMakeLists.txt names
#                     no "-max_len=N" of their own (default: 4096)
#   CXX_FUZZ          clang++ to build with (default: clang++, else clang++-14)
#
# Each target is a folder fuzz/<folder>/ whose CMakeLists.txt calls
# urdulex_fuzzer(NAME <name> ...); its seeds are fuzz/<folder>/corpus/*.
# Runs work on a copy of the seeds in BUILD_DIR/fuzz-run/<folder>/corpus, so
# the repository's corpora never grow; crash, leak, timeout and
# out-of-memory inputs land in BUILD_DIR/fuzz-run/<folder>/artifacts/ and
# the fuzzer's log in BUILD_DIR/fuzz-run/<folder>/log.
set -eu
cd "$(dirname "$0")/.."
root=$PWD

seconds=${1:-${FUZZ_SECONDS:-30}}
case $seconds in
  '' | *[!0-9]*)
    echo "usage: $0 [SECONDS]" >&2
    exit 2
    ;;
esac
BUILD_DIR=${BUILD_DIR:-build-fuzz}
default_max_len=${FUZZ_MAX_LEN:-4096}
# Limits for one run: a slow input, a large process, a single large
# allocation each count as a fault.
timeout_s=10
rss_limit_mb=2048
malloc_limit_mb=1024

bash scripts/setup.sh
if [ -z "${CXX_FUZZ:-}" ]; then
  CXX_FUZZ=clang++
  command -v clang++ >/dev/null 2>&1 || CXX_FUZZ=clang++-14
fi

# Targets: folder, executable name and input size cap.
folders=()
names=()
max_lens=()
for list in fuzz/*/CMakeLists.txt; do
  folder=$(basename "$(dirname "$list")")
  if [ -n "${FUZZ_TARGETS:-}" ] && ! [[ " $FUZZ_TARGETS " == *" $folder "* ]]; then
    continue
  fi
  name=$(sed -n 's/.*urdulex_fuzzer(NAME[[:space:]]*\([A-Za-z0-9_]*\).*/\1/p' "$list" | head -n 1)
  if [ -z "$name" ]; then
    echo "fuzz: $list defines no urdulex_fuzzer target" >&2
    exit 1
  fi
  max_len=$(sed -n 's/.*-max_len=\([0-9][0-9]*\).*/\1/p' "$list" | head -n 1)
  folders+=("$folder")
  names+=("$name")
  max_lens+=("${max_len:-$default_max_len}")
done
if [ ${#names[@]} -eq 0 ]; then
  echo "fuzz: no fuzz targets found" >&2
  exit 1
fi

cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_CXX_COMPILER="$CXX_FUZZ" \
  -DURDULEX_BUILD_FUZZERS=ON -DURDULEX_SANITIZE=ON \
  -DURDULEX_BUILD_TESTS=OFF -DURDULEX_BUILD_TOOLS=OFF \
  -DURDULEX_BUILD_BENCHMARKS=OFF -DURDULEX_INSTALL=OFF >/dev/null
cmake --build "$BUILD_DIR" -j2 --target "${names[@]}" >/dev/null
build=$(cd "$BUILD_DIR" && pwd)

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}

failed=()
for i in "${!names[@]}"; do
  folder=${folders[$i]}
  name=${names[$i]}
  binary=$build/fuzz/$folder/$name
  work=$build/fuzz-run/$folder
  mkdir -p "$work/corpus" "$work/artifacts"
  if [ -d "$root/fuzz/$folder/corpus" ]; then
    cp -n "$root/fuzz/$folder/corpus/"* "$work/corpus/" 2>/dev/null || true
  fi
  status=0
  (cd "$work" && "$binary" -max_total_time="$seconds" -max_len="${max_lens[$i]}" \
    -timeout="$timeout_s" -rss_limit_mb="$rss_limit_mb" \
    -malloc_limit_mb="$malloc_limit_mb" -print_final_stats=1 \
    -artifact_prefix="$work/artifacts/" corpus) >"$work/log" 2>&1 || status=$?

  runs=$(sed -n 's/^stat::number_of_executed_units:[[:space:]]*//p' "$work/log" | tail -n 1)
  cov=$(grep -o 'cov: [0-9]*' "$work/log" | tail -n 1 | cut -d' ' -f2)
  ft=$(grep -o 'ft: [0-9]*' "$work/log" | tail -n 1 | cut -d' ' -f2)
  corpus=$(find "$work/corpus" -type f | wc -l)
  fault=none
  if [ "$status" -ne 0 ]; then
    if grep -q 'ERROR: libFuzzer: timeout' "$work/log"; then
      fault=timeout
    elif grep -q 'ERROR: libFuzzer: out-of-memory' "$work/log"; then
      fault=out-of-memory
    elif grep -q 'ERROR: LeakSanitizer' "$work/log"; then
      fault=leak
    else
      fault=crash
    fi
    failed+=("$folder")
  fi
  printf '%-12s runs: %-10s cov: %-6s ft: %-6s corpus: %-6s max_len: %-6s fault: %s\n' \
    "$folder" "${runs:-?}" "${cov:-?}" "${ft:-?}" "$corpus" "${max_lens[$i]}" "$fault"
  if [ "$status" -ne 0 ]; then
    grep -E 'ERROR|SUMMARY|Test unit written' "$work/log" | head -n 5 | sed 's/^/    /' >&2
    echo "    log: $work/log" >&2
  fi
done

if [ ${#failed[@]} -ne 0 ]; then
  echo "fuzz: faults in ${failed[*]}; inputs kept in $build/fuzz-run/<folder>/artifacts" >&2
  exit 1
fi
