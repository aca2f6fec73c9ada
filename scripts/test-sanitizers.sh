#!/usr/bin/env bash
# Builds korvi with its tests under AddressSanitizer + UndefinedBehaviorSanitizer
# and runs the whole suite (LeakSanitizer is on: a leak fails the test that
# made it), then builds the C-boundary tests under ThreadSanitizer and runs
# them, the concurrency test among them. Any report fails the run.
#
#   bash scripts/test-sanitizers.sh          # both
#   bash scripts/test-sanitizers.sh asan     # or only one of them
#   bash scripts/test-sanitizers.sh tsan
set -euo pipefail
cd "$(dirname "$0")/.."
which=${1:-all}
jobs=${KORVI_JOBS:-$(nproc)}
asan_dir=${KORVI_ASAN_BUILD_DIR:-build/asan}
tsan_dir=${KORVI_TSAN_BUILD_DIR:-build/tsan}

# abort_on_error makes a report fail the test even where a child process's
# exit status would hide it; detect_leaks is the default, said here so that
# no inherited setting turns it off.
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1:detect_stack_use_after_return=1:check_initialization_order=1:strict_init_order=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1
export LSAN_OPTIONS=report_objects=1

if [ "$which" = all ] || [ "$which" = asan ]; then
  echo "== AddressSanitizer + UndefinedBehaviorSanitizer + LeakSanitizer: the whole suite ($asan_dir)"
  cmake -S . -B "$asan_dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKORVI_SANITIZE=ON \
    -DKORVI_BUILD_PROGRAMS=ON >/dev/null
  cmake --build "$asan_dir" -j"$jobs"
  # Two command tests run in the plain build only: cli_sample_matches_library
  # loads the library into Python through ctypes, where the sanitizer runtime
  # cannot come first, and cli_progress_on_terminal needs the sample to take
  # long enough for a progress step to be drawn, which timing decides.
  ctest --test-dir "$asan_dir" --output-on-failure -j"$jobs" \
    -E '^cli_(sample_matches_library|progress_on_terminal)$'
fi

if [ "$which" = all ] || [ "$which" = tsan ]; then
  echo "== ThreadSanitizer: the C-boundary tests, concurrency included ($tsan_dir)"
  cmake -S . -B "$tsan_dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKORVI_TSAN=ON \
    -DKORVI_BUILD_PROGRAMS=OFF >/dev/null
  cmake --build "$tsan_dir" -j"$jobs" --target capi_tests
  "$tsan_dir/tests/capi_tests"
fi
