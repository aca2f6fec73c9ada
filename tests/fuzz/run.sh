#!/usr/bin/env bash
# Builds every fuzz target with clang-14, libFuzzer, ASan and UBSan, and runs
# each for the given number of seconds (default 60) on a working copy of its
# seed corpus, then prints the executions each ran clean. Inputs that crash,
# leak, hang or fail a check are kept in build/fuzz/findings/<target>/:
# replay one with  build/fuzz/tests/fuzz/fuzz_<target> <file>,  fix it, and
# keep it as tests/fuzz/regressions/<target>/<what-it-caught> (replayed by
# ctest in every build) next to a unit test of the fix.
#
#   bash tests/fuzz/run.sh 30            # a short smoke, as CI runs it
#   bash tests/fuzz/run.sh 3600          # an hour per target
#   bash tests/fuzz/run.sh 600 json_decode fingerprint   # chosen targets only
set -uo pipefail
cd "$(dirname "$0")/../.."
seconds=${1:-60}
shift || true
build=${KORVI_FUZZ_BUILD_DIR:-build/fuzz}
jobs=${KORVI_FUZZ_JOBS:-2}

if [ $# -gt 0 ]; then
  targets=("${@/#/fuzz_}")
else
  targets=()
  for source in tests/fuzz/fuzz_*.cc; do
    base=${source##*/}
    targets+=("${base%.cc}")
  done
fi

mkdir -p "$build"
CC=clang-14 CXX=clang++-14 cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DKORVI_FUZZ=ON -DKORVI_BUILD_PROGRAMS=OFF >"$build/configure.log" 2>&1 ||
  { cat "$build/configure.log"; exit 1; }
cmake --build "$build" -j"$jobs" --target "${targets[@]}" || exit 1

failed=0
printf '%-28s %14s  %s\n' target executions result
for target in "${targets[@]}"; do
  name=${target#fuzz_}
  work="$build/corpus/$name"
  findings="$build/findings/$name"
  seeds=()
  for folder in tests/fuzz/corpus/$name tests/fuzz/regressions/$name; do
    [ -d "$folder" ] && seeds+=("$folder")
  done
  mkdir -p "$work" "$findings"
  log="$build/$name.log"
  # New inputs go to the working copy; the checked-in seeds are only read.
  "$build/tests/fuzz/$target" -max_total_time="$seconds" -timeout=30 -rss_limit_mb=2048 \
    -print_final_stats=1 -artifact_prefix="$findings/" "$work" "${seeds[@]}" >"$log" 2>&1
  status=$?
  executions=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
  if [ $status -eq 0 ]; then
    result=clean
  else
    result="FAILED (see $log)"
    failed=1
  fi
  printf '%-28s %14s  %s\n' "$name" "${executions:-?}" "$result"
done
exit $failed
