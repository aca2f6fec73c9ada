#!/usr/bin/env bash
# Installs what is missing, builds korvi with its tests, and runs them all.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build/test -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build/test -j"$(nproc)"
ctest --test-dir build/test --output-on-failure -j"$(nproc)"

# The Python package's tests, against the library just built.
KORVI_LIBRARY="$PWD/build/test/libkorvi.so" /usr/bin/python3 -m pytest -q python/tests

# The Java client's tests (JDK, JNA and JUnit from scripts/install-deps.sh).
bash java/build.sh test "$PWD/build/test/libkorvi.so"
