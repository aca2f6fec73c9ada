#!/usr/bin/env bash
# Builds libkorvi as a 32-bit x86 Linux library on Debian 12 x86-64 (as root),
# with Debian's multiarch i386 packages, and runs the whole test suite on it:
# every module's tests, the C boundary, the test vectors and the install check.
#
# Result: build/i386/libkorvi.so.0.1.0 (ELF 32-bit).
# Environment: JOBS (parallel jobs, default 2), KORVI_I386_BUILD (build dir).
set -euo pipefail
cd "$(dirname "$0")/.."
source dist/common.sh
build=${KORVI_I386_BUILD:-build/i386}

bash scripts/install-deps.sh
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  echo "== enabling the i386 architecture"
  dpkg --add-architecture i386
  apt-get -o DPkg::Lock::Timeout=600 update -qq
fi
# The libraries the library and its tests link, for i386; the korvi command's
# CSV reader and its gzip and zstd streams too, so it is built and tested as well.
need_packages gcc-multilib g++-multilib \
  libutf8proc-dev:i386 libsodium-dev:i386 libgtest-dev:i386 libcsv-dev:i386 \
  zlib1g-dev:i386 libzstd-dev:i386

# Some kernels and sandboxes cannot run 32-bit programs (no IA-32 emulation);
# there the tests run under qemu-i386 instead.
emulator=
probe=$(mktemp -d)
echo 'int main(void) { return 0; }' > "$probe/probe.c"
gcc -m32 -o "$probe/probe" "$probe/probe.c"
if ! "$probe/probe" 2>/dev/null; then
  echo "== this kernel cannot run 32-bit programs: the tests run under qemu-i386"
  need_packages qemu-user
  emulator=/usr/bin/qemu-i386
fi
rm -rf "$probe"

cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE="$PWD/dist/toolchain-i386.cmake" \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CROSSCOMPILING_EMULATOR="$emulator"
cmake --build "$build" -j"$(build_jobs)"
library=$(find "$build" -maxdepth 1 -name 'libkorvi.so.*.*.*' -type f)
readelf -h "$library" | grep -q 'Machine: *Intel 80386' ||
  { echo "$library is not an i386 library"; exit 1; }
skip=()
if [ -n "$emulator" ]; then
  # Not runnable under qemu: the korvi command's tests start the program
  # directly, and qemu ignores the address-space limit (RLIMIT_AS) that the
  # out-of-memory tests set. A kernel that runs 32-bit programs runs them all.
  skip=(-E '^cli_|^JsonMemory[.]')
  echo "== under qemu-i386, not run: the cli_* and JsonMemory.* tests"
fi
ctest --test-dir "$build" --output-on-failure -j"$(build_jobs)" "${skip[@]}"
echo "== $library: all tests passed"

version=$(sed -n 's/^project(korvi VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
stage=build/dist/korvi-$version-linux-i386
rm -rf "$stage"
cmake --install "$build" --prefix "$PWD/$stage" >/dev/null
tar -C build/dist -czf "$stage.tar.gz" "$(basename "$stage")"
echo "== $stage.tar.gz"
