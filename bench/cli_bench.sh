#!/usr/bin/env bash
# Records per second of `korvi assets` on a generated file of synthetic
# people, with 1, 2 and all worker threads, and of the bare library calls on
# one thread (bench/cli_overhead), so the command's own cost shows. Each run
# is also given per CPU-second, which stays meaningful on a busy machine.
# usage: [ROUNDS=3] bench/cli_bench.sh [COUNT]   (default 1000000 records)
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
import os, resource, statistics, subprocess, sys, time
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
# The runs are interleaved over several rounds and the medians compared, so a
# slow spell of a shared machine does not land on one configuration only.
rounds = int(os.environ.get("ROUNDS", "3"))
configs = [("threads", t) for t in sorted({1, 2, cores})] + [("bare", 1)]
samples = {c: [] for c in configs}
for _ in range(rounds):
    for kind, threads in configs:
        if kind == "bare":
            args = [os.path.join(build, "bench", "cli_overhead"), data]
        else:
            args = [korvi, "assets", data, "-o", os.devnull, "--quiet", "--threads", str(threads)]
        samples[(kind, threads)].append(measure(args))
median = lambda xs: statistics.median(xs)
rate = {c: (median([s[0] for s in v]), median([s[1] for s in v])) for c, v in samples.items()}
print(f"medians of {rounds} interleaved rounds")
for kind, threads in configs:
    if kind == "threads":
        wall, cpu = rate[(kind, threads)]
        print(f"korvi assets --threads {threads:<3} {wall:9.0f} records/s ({cpu:.0f} per CPU-second)")
bare = rate[("bare", 1)]
one, two = rate[("threads", 1)], rate[("threads", 2)]
print(f"library calls alone, 1 thread {bare[0]:7.0f} records/s ({bare[1]:.0f} per CPU-second, "
      f"including reading the file into memory)")
print(f"speed-up with 2 threads: {two[0] / one[0]:.2f}x")
print(f"command on 1 thread: {one[0] / bare[0]:.1%} of the bare calls' rate, "
      f"{one[1] / bare[1]:.1%} of their rate per CPU-second")
print(f"load average {os.getloadavg()[0]:.1f} at the end")
PY
