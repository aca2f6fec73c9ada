#!/usr/bin/env bash
# Builds libkorvi for Linux x86-64 on Debian 12 (as root), runs the whole test
# suite, and stages the installed tree (library with its SONAME links,
# headers, korvi.pc, the CMake package) with a .tar.gz of it under build/dist/.
#
# Environment: JOBS (parallel jobs, default 2), KORVI_X86_64_BUILD (build dir).
set -euo pipefail
cd "$(dirname "$0")/.."
source dist/common.sh
build=${KORVI_X86_64_BUILD:-build/x86_64}

bash scripts/install-deps.sh
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release
cmake --build "$build" -j"$(build_jobs)"
ctest --test-dir "$build" --output-on-failure -j"$(build_jobs)"

version=$(sed -n 's/^project(korvi VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
stage=build/dist/korvi-$version-linux-x86_64
rm -rf "$stage"
cmake --install "$build" --prefix "$PWD/$stage"
tar -C build/dist -czf "$stage.tar.gz" "$(basename "$stage")"
echo "== $stage.tar.gz"
