#!/usr/bin/env bash
# Builds korvi's benchmarks and baselines, runs them all in one go and prints
# a table of figures with ratios to the baselines. Usage: bench/run.sh [OUT_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
out=${1:-build/bench-results}
mkdir -p "$out"
bash scripts/install-deps.sh
cmake -S . -B build/bench -DCMAKE_BUILD_TYPE=Release -DKORVI_BUILD_TESTS=OFF -DKORVI_BUILD_BENCH=ON >/dev/null
cmake --build build/bench -j"$(nproc)" --target korvi_bench baseline_naive sha512_kernels >/dev/null
python3 bench/make_data.py build/bench/data
export KORVI_BENCH_DATA=$PWD/build/bench/data
names=$KORVI_BENCH_DATA/names.txt

# Baselines run before and after korvi's benchmarks; report.py keeps the
# faster of each pair, so a busy machine cannot flatter korvi's ratios.
python3 bench/baseline_python.py "$names" 30000 > "$out/python.json"
./build/bench/bench/baseline_naive "$names" 30000 > "$out/naive.json"
./build/bench/bench/korvi_bench --benchmark_repetitions=3 --benchmark_min_time=0.3 \
  --benchmark_report_aggregates_only=true --benchmark_format=json > "$out/korvi.json"
# The same name benchmark with the portable SHA-512 path forced.
KORVI_SHA512=libsodium ./build/bench/bench/korvi_bench --benchmark_filter='BM_FingerprintNames$' \
  --benchmark_repetitions=3 --benchmark_min_time=0.3 --benchmark_report_aggregates_only=true \
  --benchmark_format=json > "$out/korvi-libsodium.json"
./build/bench/bench/korvi_bench --memory > "$out/memory.json"
python3 bench/baseline_python.py "$names" 30000 >> "$out/python.json"
./build/bench/bench/baseline_naive "$names" 30000 >> "$out/naive.json"
python3 bench/report.py "$out"
