#!/usr/bin/env bash
# Installs what is missing, builds korvi, and runs the main job: `korvi
# assets` on the bundled sample of synthetic people, as a data team would run
# it on its customer file before sending fingerprints to a matching partner,
# then `korvi link` on two such outputs.
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

# Then the step fingerprints are for: two parties' files of made-up people
# (programs/sample/link-left.csv and link-right.csv, written by
# make_link_sample.py; link-truth.csv says who is who), each fingerprinted on
# its own, then linked by `korvi link` seeing only the fingerprints.
for side in left right; do
  ./build/release/programs/korvi assets "programs/sample/link-$side.csv" -o "build/release/link-$side.jsonl"
done
report=build/release/link-report.txt
./build/release/programs/korvi link build/release/link-left.jsonl build/release/link-right.jsonl \
  -o build/release/link-pairs.csv --truth programs/sample/link-truth.csv 2> "$report" || { cat "$report"; exit 1; }
echo "korvi: pairs written to build/release/link-pairs.csv; the first three:"
head -n 4 build/release/link-pairs.csv
cat "$report"  # the summary, then precision, recall and F1 against the truth file
