#!/usr/bin/env bash
# Records per second of `korvi assets` on a generated file of synthetic
# people, with 1, 2 and all worker threads, and of the bare library calls on
# one thread (bench/cli_overhead), so the command's own cost shows.
# usage: bench/cli_bench.sh [COUNT]   (default 1000000 records)
set -euo pipefail
cd "$(dirname "$0")/.."
count=${1:-1000000}
build=build/cli-bench
bash scripts/install-deps.sh
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DKORVI_BUILD_TESTS=OFF -DKORVI_BUILD_BENCH=ON >/dev/null
cmake --build "$build" -j"$(nproc)" --target korvi_cli cli_overhead >/dev/null
korvi=$build/programs/korvi
data=$build/people-$count.csv
[ -s "$data" ] || python3 programs/sample/make_sample.py --count "$count" "$data"
echo "input: $count synthetic people, $(du -h "$data" | cut -f1), $(nproc) cores"

rate() {  # prints the records/s of a korvi assets run
  "$korvi" assets "$data" -o /dev/null --threads "$1" 2>&1 >/dev/null |
    sed -n 's/.*, \([0-9]*\) records\/s).*/\1/p'
}
cores=$(nproc)
threads="1 2"
[ "$cores" -gt 2 ] && threads="$threads $cores"
declare -A rates
for t in $threads; do
  rates[$t]=$(rate "$t")
  printf 'korvi assets --threads %-3s %8s records/s\n' "$t" "${rates[$t]}"
done
[ "$cores" -le 2 ] && echo "(all cores = $cores threads: the line above)"
bare=$("$build/bench/cli_overhead" "$data")
echo "library calls alone, 1 thread: $bare"
bare_rate=$(echo "$bare" | sed -n 's/.*: \([0-9]*\) records\/s.*/\1/p')
python3 - "${rates[1]}" "${rates[2]}" "$bare_rate" <<'PY'
import sys
one, two, bare = map(float, sys.argv[1:])
print(f"speed-up with 2 threads: {two / one:.2f}x")
print(f"command on 1 thread vs library calls alone: {one / bare:.1%} of the bare rate "
      f"({(bare - one) / bare:+.1%} overhead)")
PY
