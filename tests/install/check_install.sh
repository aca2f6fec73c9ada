#!/usr/bin/env bash
# Installs a built korvi into a fresh prefix, checks the installed layout, and
# builds and runs a small C consumer against it twice: through pkg-config and
# through find_package(korvi).
#   check_install.sh BUILD_DIR C_COMPILER "C_FLAGS" [TOOLCHAIN_FILE [EMULATOR]]
# EMULATOR runs the consumers where this machine cannot (qemu-i386).
set -euo pipefail
build=$1 cc=$2 cflags=$3 toolchain=${4:-} emulator=${5:-}
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix
fail() { echo "FAIL: $*"; exit 1; }

cmake --install "$build" --prefix "$prefix" >/dev/null

# The library with its SONAME links, the headers, korvi.pc and the CMake package.
lib=$(find "$prefix" -name 'libkorvi.so.*.*.*' -type f)
[ -n "$lib" ] || fail "no libkorvi.so.X.Y.Z installed"
libdir=$(dirname "$lib")
soname=$(readelf -d "$lib" | sed -n 's/.*(SONAME).*\[\(.*\)\]/\1/p')
[ "$soname" = libkorvi.so.0 ] || fail "SONAME is '$soname'"
[ "$(readlink "$libdir/libkorvi.so.0")" = "$(basename "$lib")" ] || fail "libkorvi.so.0 link"
[ "$(readlink "$libdir/libkorvi.so")" = libkorvi.so.0 ] || fail "libkorvi.so link"
for h in korvi.h common.h text.h json.h fingerprint.h expr.h assets.h stringlist.h asset_records.h; do
  [ -f "$prefix/include/korvi/$h" ] || fail "header korvi/$h not installed"
done
[ -f "$libdir/pkgconfig/korvi.pc" ] || fail "korvi.pc not in $libdir/pkgconfig"
[ -f "$libdir/cmake/korvi/korviConfig.cmake" ] || fail "korviConfig.cmake not installed"
[ -f "$libdir/cmake/korvi/korviConfigVersion.cmake" ] || fail "korviConfigVersion.cmake not installed"

# The command, found by its own run path wherever the tree lies, and its
# manual pages, one per subcommand that --help lists.
if [ -f "$build/programs/korvi" ]; then
  [ -x "$prefix/bin/korvi" ] || fail "bin/korvi not installed"
  $emulator "$prefix/bin/korvi" version | grep -q "^korvi $(sed -n 's/^Version: //p' "$libdir/pkgconfig/korvi.pc")\$" ||
    fail "the installed korvi does not run"
  [ -f "$prefix/share/man/man1/korvi.1" ] || fail "man page korvi.1 not installed"
  for sub in $($emulator "$prefix/bin/korvi" --help | sed -n '/^Subcommands:/,$s/^  \([a-z][a-z0-9-]*\) .*/\1/p'); do
    grep -q "^\.TH KORVI-${sub^^} " "$prefix/share/man/man1/korvi-$sub.1" || fail "no man page korvi-$sub.1"
  done
fi

# pkg-config, with the prefix found from korvi.pc's own place.
export PKG_CONFIG_PATH=$libdir/pkgconfig
version=$(pkg-config --modversion korvi)
echo "pkg-config: korvi $version, $(pkg-config --cflags --libs korvi)"
# Consumers compile against korvi's headers alone, which include neither
# utf8proc nor libsodium: no flags of theirs (such as -DUTF8PROC_EXPORTS).
for flag in $(pkg-config --cflags korvi); do
  [ "$flag" = "-I$(pkg-config --variable=includedir korvi)" ] || fail "pkg-config --cflags korvi gives $flag"
done
libs=$(pkg-config --libs korvi | xargs)
[ "$libs" = "-L$(pkg-config --variable=libdir korvi) -lkorvi" ] || fail "pkg-config --libs korvi: $libs"
# Static linking still learns the private dependencies.
static_libs=" $(pkg-config --libs --static korvi) "
for dep in -lutf8proc -lsodium; do
  [[ "$static_libs" == *" $dep "* ]] || fail "pkg-config --libs --static korvi: $static_libs"
done
# shellcheck disable=SC2086,SC2046
"$cc" $cflags -o "$work/consumer_pc" "$here/consumer/consumer.c" $(pkg-config --cflags --libs korvi) \
  -Wl,-rpath,"$(pkg-config --variable=libdir korvi)"
$emulator "$work/consumer_pc"

# find_package(korvi).
args=(-S "$here/consumer" -B "$work/consumer_cmake" -DCMAKE_PREFIX_PATH="$prefix")
[ -n "$toolchain" ] && args+=(-DCMAKE_TOOLCHAIN_FILE="$toolchain")
cmake "${args[@]}" >/dev/null
cmake --build "$work/consumer_cmake" >/dev/null
$emulator "$work/consumer_cmake/consumer"
echo "installed tree works with pkg-config and find_package"
