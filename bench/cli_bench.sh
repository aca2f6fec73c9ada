#!/usr/bin/env bash
# Records per second of `korvi assets` on a generated file of synthetic
# people, with 1, 2 and all worker threads, and of the bare library calls on
# one thread (bench/cli_overhead), so the command's own cost shows. Each run
# is also given per CPU-second, which stays meaningful on a busy machine.
# usage: bench/cli_bench.sh [COUNT]   (default 1000000 records)
set -euo pipefail
cd "$(dirname "$0")/.."
count=${1:-1000000}
build=build/cli-bench
bash scripts/install-deps.sh
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DKORVI_BUILD_TESTS=OFF -DKORVI_BUILD_BENCH=ON >/dev/null
cmake --build "$build" -j"$(nproc)" --target korvi_cli cli_overhead >/dev/null 2>&1
data=$build/people-$count.csv
[ -s "$data" ] || python3 programs/sample/make_sample.py --count "$count" "$data"
python3 - "$build" "$data" "$count" <<'PY'
import os, resource, subprocess, sys, time
build, data, count = sys.argv[1], sys.argv[2], int(sys.argv[3])
korvi = os.path.join(build, "programs", "korvi")

def measure(args):
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    start = time.monotonic()
    subprocess.run(args, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    wall = time.monotonic() - start
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    cpu = (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)
    return count / wall, count / cpu

cores = os.cpu_count()
print(f"input: {count} synthetic people, {os.path.getsize(data) / 1e6:.0f} MB; {cores} cores, "
      f"load average {os.getloadavg()[0]:.1f} at the start")
rates = {}
for threads in sorted({1, 2, cores}):
    rates[threads] = measure([korvi, "assets", data, "-o", os.devnull, "--quiet", "--threads", str(threads)])
    print(f"korvi assets --threads {threads:<3} {rates[threads][0]:9.0f} records/s "
          f"({rates[threads][1]:.0f} per CPU-second)")
bare = measure([os.path.join(build, "bench", "cli_overhead"), data])
print(f"library calls alone, 1 thread {bare[0]:7.0f} records/s ({bare[1]:.0f} per CPU-second, "
      f"including reading the file into memory)")
print(f"speed-up with 2 threads: {rates[2][0] / rates[1][0]:.2f}x")
print(f"command on 1 thread: {rates[1][0] / bare[0]:.1%} of the bare calls' rate, "
      f"{rates[1][1] / bare[1]:.1%} of their rate per CPU-second")
print(f"load average {os.getloadavg()[0]:.1f} at the end")
PY
