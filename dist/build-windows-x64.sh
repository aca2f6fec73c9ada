#!/usr/bin/env bash
# Builds libkorviw64.dll, the Windows x64 library, on Debian 12 (as root) with
# Debian's MinGW-w64 cross compiler, and tests it under wine64: the DLL's
# export table against dist/libkorviw64.def, and the cross-platform test
# vectors through a C program built for Windows.
#
# Debian ships no MinGW builds of utf8proc and libsodium, so their Debian
# source packages are fetched through a private apt configuration (the
# system's apt sources stay untouched) and built as static libraries that
# the DLL links in. Everything goes under build/ (git-ignored); the sources
# are fetched and built once, later runs reuse them.
#
# Result: build/mingw/libkorviw64.dll and its import library libkorviw64.dll.a.
# Environment: DEBIAN_MIRROR, DEBIAN_SECURITY_MIRROR (apt mirrors to fetch
# from), JOBS (parallel build jobs, default 2), KORVI_MINGW_BUILD (build dir).
set -euo pipefail
cd "$(dirname "$0")/.."
source dist/common.sh
root=$PWD
deps=$root/build/mingw-deps
prefix=$deps/prefix
build=${KORVI_MINGW_BUILD:-$root/build/mingw}
host=x86_64-w64-mingw32

bash scripts/install-deps.sh
need_packages g++-mingw-w64-x86-64 wine64 dpkg-dev autoconf automake libtool make

# --- Debian sources of the dependencies, through a private apt configuration.
fetch_debian_sources "$deps" utf8proc libsodium
utf8proc_src=$(find "$deps/src" -maxdepth 1 -type d -name 'utf8proc-*' | head -n1)
sodium_src=$(find "$deps/src" -maxdepth 1 -type d -name 'libsodium-*' | head -n1)

# --- utf8proc: one C file, built as a static library without dllexport.
if [ ! -f "$prefix/lib/libutf8proc.a" ]; then
  echo "== building utf8proc ($(basename "$utf8proc_src")) for $host"
  mkdir -p "$prefix/lib/pkgconfig" "$prefix/include"
  make -C "$utf8proc_src" clean >/dev/null
  make -C "$utf8proc_src" CC=$host-gcc AR=$host-ar CFLAGS="-O2 -DUTF8PROC_STATIC" libutf8proc.a
  cp "$utf8proc_src/utf8proc.h" "$prefix/include/"
  cp "$utf8proc_src/libutf8proc.a" "$prefix/lib/"
  version=$(basename "$utf8proc_src" | sed 's/^utf8proc-//')
  cat > "$prefix/lib/pkgconfig/libutf8proc.pc" <<PC
prefix=$prefix
libdir=\${prefix}/lib
includedir=\${prefix}/include

Name: libutf8proc
Description: UTF8 processing (static, $host)
Version: $version
Libs: -L\${libdir} -lutf8proc
Cflags: -I\${includedir} -DUTF8PROC_STATIC
PC
fi

# --- libsodium: autotools, static only.
if [ ! -f "$prefix/lib/libsodium.a" ]; then
  echo "== building libsodium ($(basename "$sodium_src")) for $host"
  if [ ! -x "$sodium_src/configure" ]; then
    (cd "$sodium_src" && autoreconf -fi >"$deps/autoreconf.log" 2>&1) ||
      { cat "$deps/autoreconf.log"; exit 1; }
  fi
  rm -rf "$deps/sodium-build" && mkdir -p "$deps/sodium-build"
  (cd "$deps/sodium-build" &&
    "$sodium_src/configure" --host=$host --prefix="$prefix" --disable-shared --enable-static \
      --disable-dependency-tracking >/dev/null &&
    make -j"$(build_jobs)" >/dev/null &&
    make install >/dev/null)
fi

# --- uthash: headers only; copied so the cross compiler never sees /usr/include.
mkdir -p "$prefix/include"
dpkg -L uthash-dev | grep '^/usr/include/.*\.h$' | xargs cp -t "$prefix/include/"

# --- korvi itself, and its Windows checks under wine64.
echo "== building libkorviw64.dll"
export KORVI_MINGW_PREFIX=$prefix
cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/dist/toolchain-mingw64.cmake" \
  -DCMAKE_BUILD_TYPE=Release -DKORVI_BUILD_PROGRAMS=OFF
cmake --build "$build" -j"$(build_jobs)"

export WINEPREFIX=$deps/wine WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "== creating the wine prefix"
  /usr/lib/wine/wine64 wineboot --init
  /usr/lib/wine/wineserver -w
fi
ctest --test-dir "$build" --output-on-failure
echo "== $build/libkorviw64.dll"

version=$(sed -n 's/^project(korvi VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
stage=build/dist/korvi-$version-windows-x64
rm -rf "$stage"
cmake --install "$build" --prefix "$PWD/$stage" >/dev/null
tar -C build/dist -czf "$stage.tar.gz" "$(basename "$stage")"
echo "== $stage.tar.gz"
