#!/usr/bin/env python3
"""Measures `korvi link` on generated people: quality (precision, recall, F1,
recall per kind of corruption) and speed (seconds end to end, candidate pairs
compared per CPU-second, peak memory).

For each size N it writes N x N people with programs/sample/make_link_sample.py
(half of the right file corrupted copies of left people), fingerprints both
files with `korvi assets`, links them at the default settings, and reads the
pairs against the truth file. Prints figures; asserts nothing.

usage: link_bench.py [--korvi PATH] [--work DIR] [--threads N] [SIZE ...]
       (default sizes: 10000 100000)
"""
import argparse
import collections
import csv
import os
import re
import resource
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
MAKE = os.path.join(ROOT, "programs", "sample", "make_link_sample.py")


def run(command, **kwargs):
    """Runs a child; returns (wall seconds, CPU seconds, peak RSS in MiB, stderr)."""
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    start = time.perf_counter()
    result = subprocess.run(command, stderr=subprocess.PIPE, text=True, **kwargs)
    wall = time.perf_counter() - start
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    if result.returncode not in (0, 1):
        sys.exit("failed: %s\n%s" % (" ".join(command), result.stderr))
    cpu = (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)
    return wall, cpu, after.ru_maxrss / 1024, result.stderr


def quality(pairs_path, truth_path):
    truth = {}
    with open(truth_path, encoding="utf-8") as f:
        for row in csv.DictReader(f):
            truth[(row["left_id"], row["right_id"])] = row["corruptions"].split(";") if row["corruptions"] else []
    with open(pairs_path, encoding="utf-8") as f:
        found = {(row["left_id"], row["right_id"]) for row in csv.DictReader(f)}
    hits = len(found & truth.keys())
    precision = hits / len(found) if found else 0
    recall = hits / len(truth) if truth else 0
    f1 = 2 * precision * recall / (precision + recall) if precision + recall else 0
    per_kind = collections.defaultdict(lambda: [0, 0])
    for pair, kinds in truth.items():
        for kind in kinds or ["none (clean copy)"]:
            per_kind[kind][0] += pair in found
            per_kind[kind][1] += 1
    return precision, recall, f1, len(found), len(truth), per_kind


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--korvi", default=os.path.join(ROOT, "build", "release", "programs", "korvi"))
    parser.add_argument("--work", default=os.path.join(ROOT, "build", "link-bench"))
    parser.add_argument("--threads", type=int, default=0, help="korvi --threads (default: one per core)")
    parser.add_argument("sizes", nargs="*", type=int, default=[10000, 100000])
    args = parser.parse_args()
    os.makedirs(args.work, exist_ok=True)
    threads = ["--threads", str(args.threads)] if args.threads else []
    print("machine: %d cores, load average %.1f at the start" % (os.cpu_count(), os.getloadavg()[0]))
    for n in args.sizes:
        prefix = os.path.join(args.work, "people-%d" % n)
        if not os.path.exists(prefix + "-truth.csv"):
            subprocess.run([sys.executable, MAKE, "--count", str(n), prefix], check=True)
        assets_wall = assets_cpu = 0
        for side in ("left", "right"):
            wall, cpu, _, _ = run([args.korvi, "assets", prefix + "-%s.csv" % side, "-o",
                                   prefix + "-%s.jsonl" % side, "-q"] + threads)
            assets_wall += wall
            assets_cpu += cpu
        pairs = prefix + "-pairs.csv"
        model = prefix + "-model.json"
        wall, cpu, rss, stderr = run([args.korvi, "link", prefix + "-left.jsonl", prefix + "-right.jsonl",
                                      "-o", pairs, "--truth", prefix + "-truth.csv", "--save-model", model] + threads)
        # The same with the model given: reading, indexing and the scoring
        # pass, so the difference is what fitting takes: two passes over the
        # fitting pairs of the sampled right records and one over the
        # candidate pairs of all right records (each left record's best).
        _, cpu_given, _, _ = run([args.korvi, "link", prefix + "-left.jsonl", prefix + "-right.jsonl",
                                  "-o", os.devnull, "--model", model, "-q"] + threads)
        candidates = int(re.search(r"(\d+) candidate pairs", stderr).group(1))
        fitting = re.search(r"on (\d+) pairs of (\d+) right records", stderr)
        fitting_pairs = int(fitting.group(1)) if fitting else 0
        precision, recall, f1, written, true_pairs, per_kind = quality(pairs, prefix + "-truth.csv")
        print()
        print("## %d x %d people (%d true pairs)" % (n, n, true_pairs))
        print(stderr.rstrip())
        print("korvi assets, both files: %.1f s (%.1f CPU-s)" % (assets_wall, assets_cpu))
        print("korvi link: %.1f s (%.1f CPU-s), peak memory %.0f MiB" % (wall, cpu, rss))
        print("end to end (assets of both files + link): %.1f s" % (assets_wall + wall))
        print("candidate pairs scored: %d; fitting pairs (sampled right records): %d"
              % (candidates, fitting_pairs))
        print("with the model given (reading, indexing, scoring): %.1f CPU-s, %.0f records per CPU-second"
              % (cpu_given, 2 * n / cpu_given if cpu_given else 0))
        if cpu > cpu_given:
            print("fitting: %.1f CPU-s, %.0f pairs compared per CPU-second (each fitting pair twice, "
                  "each candidate pair once)" % (cpu - cpu_given, (2 * fitting_pairs + candidates) / (cpu - cpu_given)))
        print("precision %.4f  recall %.4f  F1 %.4f  (%d pairs written)" % (precision, recall, f1, written))
        print("| corruption | true pairs | recall |")
        print("|---|---:|---:|")
        for kind, (hit, total) in sorted(per_kind.items(), key=lambda item: item[1][0] / item[1][1]):
            print("| %s | %d | %.4f |" % (kind, total, hit / total))


if __name__ == "__main__":
    main()
