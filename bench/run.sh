#!/usr/bin/env bash
# Builds korvi's benchmarks and baselines, runs them all in one go and prints
# a table of figures with ratios to the baselines, each keyed row beside its
# public-salt row.
# Usage: [ROUNDS=5] bench/run.sh [OUT_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
out=${1:-build/bench-results}
rounds=${ROUNDS:-5}
mkdir -p "$out"
rm -f "$out"/*.json
bash scripts/install-deps.sh
cmake -S . -B build/bench -DCMAKE_BUILD_TYPE=Release -DKORVI_BUILD_TESTS=OFF -DKORVI_BUILD_BENCH=ON >/dev/null
cmake --build build/bench -j"$(nproc)" --target korvi_bench baseline_naive sha512_kernels reverse_ssn >/dev/null
python3 bench/make_data.py build/bench/data
export KORVI_BENCH_DATA=$PWD/build/bench/data
names=$KORVI_BENCH_DATA/names.txt
bench=./build/bench/bench/korvi_bench

# The name benchmarks and both baselines take turns, round after round, and
# each ratio is taken within a round: a shared machine's speed drifts by
# tens of percent over minutes, which would otherwise land on one side.
for round in $(seq "$rounds"); do
  python3 bench/baseline_python.py "$names" 30000 >> "$out/python.json"
  ./build/bench/bench/baseline_naive "$names" 30000 >> "$out/naive.json"
  $bench --benchmark_filter='BM_FingerprintNames' --benchmark_min_time=0.3 \
    --benchmark_format=json > "$out/names-$round.json"
  # The same with the portable SHA-512 path forced.
  KORVI_SHA512=libsodium $bench --benchmark_filter='BM_FingerprintNames$' \
    --benchmark_min_time=0.3 --benchmark_format=json > "$out/names-libsodium-$round.json"
done
$bench --benchmark_filter='-BM_FingerprintNames' --benchmark_repetitions=3 --benchmark_min_time=0.3 \
  --benchmark_report_aggregates_only=true --benchmark_format=json > "$out/korvi.json"
$bench --memory > "$out/memory.json"
# What reversing public-salt SSN fingerprints costs: a real slice, timed.
./build/bench/bench/reverse_ssn 20000000 > "$out/reverse.json"
python3 bench/report.py "$out"
