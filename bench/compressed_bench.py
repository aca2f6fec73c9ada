#!/usr/bin/python3
"""Size and cost of compressed output and input for `korvi assets`: the same
synthetic people written plain, as .gz and as .zst, and read back from
.csv.gz and .csv.zst inputs, interleaved over rounds (medians printed), in
records per CPU-second of the command, which stays meaningful on a busy
machine.

usage: /usr/bin/python3 bench/compressed_bench.py KORVI [--count N] [--rounds R]
"""
import argparse
import gzip
import os
import resource
import shutil
import statistics
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
MAKE_SAMPLE = os.path.join(HERE, "..", "programs", "sample", "make_sample.py")


def cpu_seconds(args):
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    subprocess.run(args, check=True, stdout=subprocess.DEVNULL)
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    return (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("korvi")
    parser.add_argument("--count", type=int, default=100_000)
    parser.add_argument("--rounds", type=int, default=3)
    args = parser.parse_args()
    with tempfile.TemporaryDirectory() as scratch:
        at = lambda name: os.path.join(scratch, name)
        subprocess.run([sys.executable, MAKE_SAMPLE, "--count", str(args.count), at("people.csv")], check=True)
        with open(at("people.csv"), "rb") as f, gzip.open(at("people.csv.gz"), "wb") as out:
            shutil.copyfileobj(f, out)
        subprocess.run(["zstd", "-q", at("people.csv"), "-o", at("people.csv.zst")], check=True)
        base = [args.korvi, "assets", "-q", "--threads", "1"]
        runs = {
            "plain CSV in, plain out": base + [at("people.csv"), "-o", at("out.jsonl")],
            "plain CSV in, .gz out": base + [at("people.csv"), "-o", at("out.jsonl.gz")],
            "plain CSV in, .zst out": base + [at("people.csv"), "-o", at("out.jsonl.zst")],
            ".csv.gz in, plain out": base + [at("people.csv.gz"), "-o", at("in-gz.jsonl")],
            ".csv.zst in, plain out": base + [at("people.csv.zst"), "-o", at("in-zst.jsonl")],
        }
        seconds = {name: [] for name in runs}
        for _ in range(args.rounds):
            for name, command in runs.items():
                seconds[name].append(cpu_seconds(command))
        plain = os.path.getsize(at("out.jsonl"))
        print("%d synthetic people, %d cores, load average %.1f; medians of %d interleaved rounds, one thread"
              % (args.count, os.cpu_count(), os.getloadavg()[0], args.rounds))
        reference = args.count / statistics.median(seconds["plain CSV in, plain out"])
        for name in runs:
            rate = args.count / statistics.median(seconds[name])
            print("%-26s %8.0f records/CPU-s  (%5.1f%% of plain)" % (name, rate, 100 * rate / reference))
        for name in ("out.jsonl.gz", "out.jsonl.zst", "people.csv.gz", "people.csv.zst"):
            original = plain if name.startswith("out") else os.path.getsize(at("people.csv"))
            print("%-15s %6.1f MB, %.1fx smaller than plain (%.1f MB)"
                  % (name, os.path.getsize(at(name)) / 1e6, original / os.path.getsize(at(name)), original / 1e6))


if __name__ == "__main__":
    main()
