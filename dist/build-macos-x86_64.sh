#!/usr/bin/env bash
# Builds libkorvid64, the macOS x86-64 library (libkorvi.0.dylib, install name
# @rpath/libkorvi.0.dylib, the exports of lib/korvi.exports as on Linux), runs
# the test suite and stages an installed tree with a .tar.gz of it.
#
# UNTESTED: no macOS machine was available where this script was written; it
# states the intended build, and may need adjusting on first use.
#
# Needs an Intel Mac with Homebrew. The library is compiled with Homebrew's
# GCC, not Apple's clang: Apple's libc++ lacks std::from_chars for double,
# and GCC's libstdc++ converts JSON numbers exactly as on Linux and Windows.
# libstdc++ and libgcc are linked in statically, so callers need no GCC
# runtime. GoogleTest is built from source with the same compiler, because
# Homebrew's is built for libc++.
#
# Environment: JOBS (parallel jobs, default: all cores).
set -euo pipefail
cd "$(dirname "$0")/.."
if [ "$(uname -s)" != Darwin ] || [ "$(uname -m)" != x86_64 ]; then
  echo "run this on an x86-64 Mac"
  exit 1
fi
jobs=${JOBS:-$(sysctl -n hw.ncpu)}
build=build/macos
deps=build/macos-deps

brew install cmake pkg-config gcc utf8proc libsodium uthash
gcc_bin=$(brew --prefix gcc)/bin
cxx=$(find "$gcc_bin" -name 'g++-[0-9]*' | sort -V | tail -n 1)
cc=$gcc_bin/gcc-${cxx##*/g++-}
PKG_CONFIG_PATH="$(brew --prefix utf8proc)/lib/pkgconfig:$(brew --prefix libsodium)/lib/pkgconfig"
export PKG_CONFIG_PATH

gtest_version=1.12.1
if [ ! -f "$deps/prefix/lib/cmake/GTest/GTestConfig.cmake" ]; then
  mkdir -p "$deps"
  curl -fsSL -o "$deps/googletest.tar.gz" \
    "https://github.com/google/googletest/archive/refs/tags/release-$gtest_version.tar.gz"
  tar -C "$deps" -xzf "$deps/googletest.tar.gz"
  cmake -S "$deps/googletest-release-$gtest_version" -B "$deps/gtest-build" \
    -DCMAKE_C_COMPILER="$cc" -DCMAKE_CXX_COMPILER="$cxx" -DCMAKE_BUILD_TYPE=Release \
    -DBUILD_GMOCK=OFF -DCMAKE_INSTALL_PREFIX="$PWD/$deps/prefix"
  cmake --build "$deps/gtest-build" -j"$jobs"
  cmake --install "$deps/gtest-build"
fi

cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_C_COMPILER="$cc" -DCMAKE_CXX_COMPILER="$cxx" \
  -DCMAKE_PREFIX_PATH="$PWD/$deps/prefix;$(brew --prefix uthash)" \
  -DCMAKE_SHARED_LINKER_FLAGS="-static-libstdc++ -static-libgcc" \
  -DKORVI_BUILD_PROGRAMS=OFF
cmake --build "$build" -j"$jobs"

# The install name and the exported symbols, as the header of this script says.
library=$build/libkorvi.0.dylib
otool -D "$library" | grep -qx '@rpath/libkorvi.0.dylib' || { otool -D "$library"; exit 1; }
diff <(nm -gU "$library" | awk '{print $3}' | sed 's/^_//' | sort) \
     <(grep '^[A-Za-z_]' lib/korvi.exports | sort) || { echo "exports differ"; exit 1; }
ctest --test-dir "$build" --output-on-failure -j"$jobs"

version=$(sed -n 's/^project(korvi VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
stage=build/dist/korvi-$version-macos-x86_64
rm -rf "$stage"
cmake --install "$build" --prefix "$PWD/$stage"
tar -C build/dist -czf "$stage.tar.gz" "$(basename "$stage")"
echo "== $stage.tar.gz"
