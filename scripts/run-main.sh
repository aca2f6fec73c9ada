#!/usr/bin/env bash
# Installs what is missing, builds korvi, and runs the main job: the korvi
# command fingerprinting a few sample texts.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release -DKORVI_BUILD_TESTS=OFF
cmake --build build/release -j"$(nproc)"
./build/release/programs/korvi demo
