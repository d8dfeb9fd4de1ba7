# Sourced by the benchmark scripts.
#
# measure COMMAND [ARG...]
# Five runs of a command (or $MEASURE_RUNS); prints the best wall-clock
# time, the best processor time (user + system), in seconds, and the
# largest peak resident memory in KB. The processor time is the steadier
# figure on a busy machine.
measure() {
  MEASURE_RUNS=${MEASURE_RUNS:-5} python3 - "$@" <<'PY'
import os, resource, subprocess, sys, time
wall, cpu, rss = None, None, 0
for _ in range(int(os.environ["MEASURE_RUNS"])):
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    start = time.perf_counter()
    subprocess.run(sys.argv[1:], check=True, stdout=subprocess.DEVNULL)
    w = time.perf_counter() - start
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    c = (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)
    wall = w if wall is None else min(wall, w)
    cpu = c if cpu is None else min(cpu, c)
    rss = max(rss, after.ru_maxrss)
print(f"{wall:.4f} {cpu:.4f} {rss}")
PY
}

# bench_build [-DOPTION=VALUE...] TARGET...
# Installs what the benchmarks need and builds TARGETs optimised in $build
# ($BUILD_DIR, default build-bench). Run from the source folder.
bench_build() {
  local options=()
  while [ $# -gt 0 ] && [ "${1#-D}" != "$1" ]; do
    options+=("$1")
    shift
  done
  build=${BUILD_DIR:-build-bench}
  bash scripts/setup.sh
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DURDULEX_BUILD_TESTS=OFF "${options[@]}" >/dev/null
  cmake --build "$build" --target "$@" >/dev/null
}

# bench_workdir: makes a scratch folder $work, removed on exit, and moves
# into it.
bench_workdir() {
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
  cd "$work"
}
