#!/usr/bin/env bash
# Builds korvi for WebAssembly on Debian 12 (as root) with Debian's emscripten
# and puts it into the npm package under js/: js/dist/korvi-wasm.mjs, one ES
# module with the WebAssembly inside (base64), loadable by Node and browsers.
#
# The whole library is built from the same sources and CMake files as the
# native one. Debian ships no WebAssembly builds of utf8proc and libsodium,
# so their Debian source packages are fetched through a private apt
# configuration (dist/common.sh; the system's apt sources stay untouched):
# utf8proc is compiled whole, libsodium only for its SHA-512 and
# HMAC-SHA-512 code and the few helpers that code calls. Everything is built
# under build/ (git-ignored) once; later runs rebuild only what changed.
#
# Environment: DEBIAN_MIRROR, DEBIAN_SECURITY_MIRROR (apt mirrors), JOBS
# (parallel build jobs, default 2), KORVI_WASM_BUILD (build dir).
set -euo pipefail
cd "$(dirname "$0")/.."
source dist/common.sh
root=$PWD
deps=$root/build/wasm-deps
prefix=$deps/prefix
build=${KORVI_WASM_BUILD:-$root/build/wasm}

bash scripts/install-deps.sh
need_packages emscripten nodejs dpkg-dev cmake make
command -v npm >/dev/null || need_packages npm
# emscripten's JavaScript optimiser (acorn, terser) lives in Debian's
# node_modules folder, which node does not search by itself.
export NODE_PATH=/usr/share/nodejs

fetch_debian_sources "$deps" utf8proc libsodium
utf8proc_src=$(find "$deps/src" -maxdepth 1 -type d -name 'utf8proc-*' | head -n1)
sodium_src=$(find "$deps/src" -maxdepth 1 -type d -name 'libsodium-*' | head -n1)
cflags=(-O3 -fwasm-exceptions)

# --- utf8proc: one C file.
if [ ! -f "$prefix/lib/libutf8proc.a" ]; then
  echo "== building utf8proc ($(basename "$utf8proc_src")) for wasm32"
  mkdir -p "$prefix/lib/pkgconfig" "$prefix/include" "$deps/obj"
  emcc "${cflags[@]}" -DUTF8PROC_STATIC -c "$utf8proc_src/utf8proc.c" -o "$deps/obj/utf8proc.o"
  emar rcs "$prefix/lib/libutf8proc.a" "$deps/obj/utf8proc.o"
  cp "$utf8proc_src/utf8proc.h" "$prefix/include/"
  cat > "$prefix/lib/pkgconfig/libutf8proc.pc" <<PC
prefix=$prefix
Name: libutf8proc
Description: UTF8 processing (static, wasm32)
Version: $(basename "$utf8proc_src" | sed 's/^utf8proc-//')
Libs: -L\${prefix}/lib -lutf8proc
Cflags: -I\${prefix}/include -DUTF8PROC_STATIC
PC
fi

# --- libsodium: SHA-512, HMAC-SHA-512 and what they call. randombytes.c is
# there only for crypto_auth_hmacsha512_keygen, which korvi never calls: the
# linker drops it, and its JavaScript with it.
if [ ! -f "$prefix/lib/libsodium.a" ]; then
  echo "== building the SHA-512 parts of libsodium ($(basename "$sodium_src")) for wasm32"
  sodium=$sodium_src/src/libsodium
  version=$(basename "$sodium_src" | sed 's/^libsodium-//')
  mkdir -p "$prefix/include" "$deps/obj/sodium"
  cp -r "$sodium/include/sodium.h" "$sodium/include/sodium" "$prefix/include/"
  sed -e "s/@VERSION@/$version/" -e 's/@SODIUM_LIBRARY_VERSION_MAJOR@/10/' \
      -e 's/@SODIUM_LIBRARY_VERSION_MINOR@/3/' -e 's/@SODIUM_LIBRARY_MINIMAL_DEF@//' \
      "$sodium/include/sodium/version.h.in" > "$prefix/include/sodium/version.h"
  objects=()
  for c in crypto_hash/sha512/hash_sha512.c crypto_hash/sha512/cp/hash_sha512_cp.c \
           crypto_auth/hmacsha512/auth_hmacsha512.c crypto_verify/sodium/verify.c \
           sodium/utils.c sodium/core.c sodium/runtime.c randombytes/randombytes.c; do
    object=$deps/obj/sodium/$(basename "$c" .c).o
    emcc "${cflags[@]}" -DCONFIGURED=1 -DHAVE_WEAK_SYMBOLS=1 -I"$prefix/include/sodium" \
      -I"$sodium/include/sodium" -c "$sodium/$c" -o "$object"
    objects+=("$object")
  done
  emar rcs "$prefix/lib/libsodium.a" "${objects[@]}"
  cat > "$prefix/lib/pkgconfig/libsodium.pc" <<PC
prefix=$prefix
Name: libsodium
Description: SHA-512 and HMAC-SHA-512 of libsodium (static, wasm32)
Version: $version
Libs: -L\${prefix}/lib -lsodium
Cflags: -I\${prefix}/include
PC
fi

# --- uthash: headers only; copied so that emscripten's sysroot is the only
# other include path.
dpkg -L uthash-dev | grep '^/usr/include/.*\.h$' | xargs cp -t "$prefix/include/"

# --- korvi: the CMake build as for other platforms (a static library here:
# emscripten has no shared ones), then one link into the module.
echo "== building korvi for wasm32"
# Link-time optimisation across the modules: a tenth more names per second.
# SIMD128 (Node 16.4 and later, every current browser) gives SHA-512 its
# two-lane kernel (lib/core/sha512_batch_simd128.cc).
export PKG_CONFIG_LIBDIR=$prefix/lib/pkgconfig PKG_CONFIG_PATH=
korvi_flags="${cflags[*]} -flto -msimd128"
emcmake cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_C_FLAGS="$korvi_flags" -DCMAKE_CXX_FLAGS="$korvi_flags" \
  -DKORVI_BUILD_TESTS=OFF -DKORVI_BUILD_PROGRAMS=OFF -DUTHASH_INCLUDE_DIR="$prefix/include" \
  >/dev/null
cmake --build "$build" -j"$(build_jobs)" --target korvi

# The functions js/src/korvi.js calls, where lib/korvi.exports has them.
exports=(_malloc _free)
for name in js_fingerprint clean_string fingerprint_chunk korvi_free korvi_version \
            korvi_unicode_version korvi_sha512_implementation assets_from_name \
            assets_from_address assets_from_city_state_zip assets_from_email_address \
            assets_from_ssn assets_from_phone_number \
            korvi_key_new korvi_key_free korvi_key_id fingerprint_keyed free_result \
            fingerprint_chunk_keyed korvi_fingerprint_many korvi_fingerprint_many_keyed assets_from_name_keyed assets_from_address_keyed \
            assets_from_city_state_zip_keyed assets_from_email_address_keyed \
            assets_from_ssn_keyed assets_from_phone_number_keyed; do
  grep -qx "$name" lib/korvi.exports && exports+=("_$name")
done
exports_json=$(printf '"%s",' "${exports[@]}")
mkdir -p js/dist
echo "== linking js/dist/korvi-wasm.mjs"
# ALLOW_MEMORY_GROWTH: huge inputs grow the heap instead of failing;
# STACK_SIZE: deep expression trees are parsed with a bounded stack of their
# own, the rest needs little.
emcc "${cflags[@]}" -flto -msimd128 -o js/dist/korvi-wasm.mjs \
  "$build/libkorvi.a" "$prefix/lib/libutf8proc.a" "$prefix/lib/libsodium.a" \
  -sSINGLE_FILE=1 -sMODULARIZE=1 -sEXPORT_ES6=1 -sEXPORT_NAME=createKorviModule \
  -sENVIRONMENT=web,worker -sALLOW_MEMORY_GROWTH=1 -sMAXIMUM_MEMORY=2GB \
  -sEXPORTED_FUNCTIONS="[${exports_json%,}]" \
  -sABORTING_MALLOC=0 -sEXPORTED_RUNTIME_METHODS='["HEAPU8","UTF8ToString"]' -sFILESYSTEM=0
echo "== js/dist/korvi-wasm.mjs: $(stat -c %s js/dist/korvi-wasm.mjs) bytes"
