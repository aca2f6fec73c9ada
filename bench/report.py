#!/usr/bin/env python3
"""Prints the benchmark table of bench/run.sh, with ratios to the baselines."""
import json
import os
import platform
import sys


def medians(path):
    with open(path) as f:
        data = json.load(f)
    out = {}
    for b in data["benchmarks"]:
        if b.get("aggregate_name") == "median":
            out[b["run_name"]] = b
    return out, data.get("context", {})


def main(folder):
    def best(name):
        with open(os.path.join(folder, name)) as f:
            return max(json.loads(line)["items_per_second"] for line in f if line.strip())

    python = best("python.json")
    naive = best("naive.json")
    korvi, context = medians(os.path.join(folder, "korvi.json"))
    portable, _ = medians(os.path.join(folder, "korvi-libsodium.json"))
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
          f"{platform.release()}; medians of 3 runs, one thread")
    print()
    print("| benchmark | items/s | MB/s | vs Python | vs naive C |")
    print("|---|---:|---:|---:|---:|")
    for name, b in korvi.items():
        items = b.get("items_per_second", 0.0)
        mbs = b.get("bytes_per_second", 0.0) / 1e6
        vs_py = vs_naive = ""
        if name.startswith("BM_FingerprintNames"):
            vs_py = f"{items / python:.1f}x"
            vs_naive = f"{items / naive:.1f}x"
        extra = ""
        if "windows_per_second" in b:
            extra = f" ({b['windows_per_second'] / 1e6:.1f} M windows/s)"
        print(f"| {name[3:]}{extra} | {items:,.0f} | {mbs:,.1f} | {vs_py} | {vs_naive} |")
    for name, b in portable.items():
        items = b.get("items_per_second", 0.0)
        print(f"| {name[3:]} (KORVI_SHA512=libsodium) | {items:,.0f} | "
              f"{b.get('bytes_per_second', 0) / 1e6:,.1f} | {items / python:.1f}x | {items / naive:.1f}x |")
    print(f"| baseline: Python hashlib, names | {python:,.0f} | | 1.0x | |")
    print(f"| baseline: naive C, names | {naive:,.0f} | | | 1.0x |")
    print()
    print(f"Peak memory: fingerprint of a 1 MB text {memory['fingerprint_1MB_text_peak_kib']:,} KiB; "
          f"assets_from_address at the 10,000-variant cap {memory['assets_from_address_at_cap_peak_kib']:,} KiB")


if __name__ == "__main__":
    main(sys.argv[1])
