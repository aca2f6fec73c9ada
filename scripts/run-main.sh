#!/usr/bin/env bash
# Installs what is missing, builds korvi, and runs the main job: `korvi
# assets` on the bundled sample of synthetic people, as a data team would run
# it on its customer file before sending fingerprints to a matching partner.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release -DKORVI_BUILD_TESTS=OFF
cmake --build build/release -j"$(nproc)"
out=build/release/sample-assets.jsonl
./build/release/programs/korvi assets programs/sample/people.csv -o "$out" --rejects build/release/sample-rejects.csv
echo "korvi: assets of $(wc -l < "$out") records written to $out"
echo "first record, shortened:"
head -n 1 "$out" | cut -c 1-300
