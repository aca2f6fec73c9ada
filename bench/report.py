#!/usr/bin/env python3
"""Prints the benchmark table of bench/run.sh, with ratios to the baselines."""
import json
import os
import platform
import statistics
import sys


def medians(path):
    with open(path) as f:
        data = json.load(f)
    out = {}
    for b in data["benchmarks"]:
        if b.get("aggregate_name") == "median":
            out[b["run_name"]] = b
    return out, data.get("context", {})


def lines_of(path):
    with open(path) as f:
        return [json.loads(line) for line in f if line.strip()]


def items_by_name(path):
    with open(path) as f:
        return {b["name"]: b["items_per_second"] for b in json.load(f)["benchmarks"]}


def main(folder):
    python = [line["items_per_second"] for line in lines_of(os.path.join(folder, "python.json"))]
    naive = [line["items_per_second"] for line in lines_of(os.path.join(folder, "naive.json"))]
    rounds = len(python)
    names = [items_by_name(os.path.join(folder, f"names-{r}.json")) for r in range(1, rounds + 1)]
    portable = [items_by_name(os.path.join(folder, f"names-libsodium-{r}.json"))
                for r in range(1, rounds + 1)]
    korvi, context = medians(os.path.join(folder, "korvi.json"))
    memory = json.load(open(os.path.join(folder, "memory.json")))["memory"]
    cpu = "unknown CPU"
    try:
        for line in open("/proc/cpuinfo"):
            if line.startswith("model name"):
                cpu = line.split(":", 1)[1].strip()
                break
    except OSError:
        pass
    print(f"Machine: {cpu}, {context.get('num_cpus', '?')} cores, {platform.system()} "
          f"{platform.release()}; one thread. Name rows: medians of {rounds} rounds in which "
          f"korvi and the baselines take turns, each ratio taken within its round; "
          f"other rows: medians of 3 runs")
    print()
    print("| benchmark | items/s | MB/s | vs Python | vs naive C | keyed vs public salt |")
    print("|---|---:|---:|---:|---:|---:|")

    def name_row(label, per_round, key):
        items = [r[key] for r in per_round]
        vs_py = statistics.median(i / p for i, p in zip(items, python))
        vs_naive = statistics.median(i / n for i, n in zip(items, naive))
        keyed = ""
        if key.endswith("Keyed") and key[:-5] in per_round[0]:
            keyed = f"{statistics.median(r[key] / r[key[:-5]] for r in per_round):.2f}x"
        print(f"| {label} | {statistics.median(items):,.0f} | | {vs_py:.1f}x | {vs_naive:.1f}x | {keyed} |")

    for key in names[0]:
        name_row(key[3:], names, key)
    name_row("FingerprintNames (KORVI_SHA512=libsodium)", portable, "BM_FingerprintNames")
    for name, b in korvi.items():
        items = b.get("items_per_second", 0.0)
        mbs = b.get("bytes_per_second", 0.0) / 1e6
        extra = ""
        if "windows_per_second" in b:
            extra = f" ({b['windows_per_second'] / 1e6:.1f} M windows/s)"
        keyed = ""
        if name.endswith("Keyed") and name[:-5] in korvi:
            keyed = f"{items / korvi[name[:-5]].get('items_per_second', 1.0):.2f}x"
        print(f"| {name[3:]}{extra} | {items:,.0f} | {mbs:,.1f} | | | {keyed} |")
    print(f"| baseline: Python hashlib, names | {statistics.median(python):,.0f} | | 1.0x | | |")
    print(f"| baseline: naive C, names | {statistics.median(naive):,.0f} | | | 1.0x | |")
    print()
    reverse_path = os.path.join(folder, "reverse.json")
    if os.path.exists(reverse_path):
        r = json.load(open(reverse_path))["reverse_ssn"]
        print(f"Reversing public-salt SSN fingerprints ({r['kernel']}, one thread): "
              f"{r['slice']:,} nine-digit numbers hashed and looked up in {r['cpu_seconds']:.2f} "
              f"CPU-seconds ({r['numbers_per_cpu_second']:,.0f} per CPU-second, "
              f"{r['targets_found']} of {r['targets_planted']} planted targets found): all 10^9 "
              f"SSNs in {r['all_ssns_cpu_seconds']:,.0f} CPU-seconds, all 6.4*10^9 North American "
              f"phone numbers in {r['all_phone_numbers_cpu_seconds']:,.0f} CPU-seconds")
        print()
    print(f"Peak memory: fingerprint of a 1 MB text {memory['fingerprint_1MB_text_peak_kib']:,} KiB; "
          f"assets_from_address at the 10,000-variant cap {memory['assets_from_address_at_cap_peak_kib']:,} KiB")


if __name__ == "__main__":
    main(sys.argv[1])
