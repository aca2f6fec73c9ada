// Big-endian 64-bit words in memory, whatever the host's byte order: the
// SHA-512 message schedule and digests, and the digests' hex digits.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>
#include <type_traits>

#if defined(__wasm_simd128__)
#include <wasm_simd128.h>
#endif

namespace korvi::base {

constexpr uint64_t byteswap64(uint64_t v) noexcept {
#if defined(__wasm_simd128__)
  // WebAssembly has no byte swap: the compiler writes one as 29 shifts,
  // masks and ors, where a SIMD128 byte shuffle does it in one.
  if (!std::is_constant_evaluated()) {
    const v128_t x = wasm_i64x2_splat(static_cast<int64_t>(v));
    return static_cast<uint64_t>(wasm_i64x2_extract_lane(
        wasm_i8x16_shuffle(x, x, 7, 6, 5, 4, 3, 2, 1, 0, 8, 9, 10, 11, 12, 13, 14, 15), 0));
  }
#endif
#if defined(__GNUC__) || defined(__clang__)
  return __builtin_bswap64(v);
#else
  v = ((v & 0x00FF00FF00FF00FFull) << 8) | ((v >> 8) & 0x00FF00FF00FF00FFull);
  v = ((v & 0x0000FFFF0000FFFFull) << 16) | ((v >> 16) & 0x0000FFFF0000FFFFull);
  return (v << 32) | (v >> 32);
#endif
}

// The word whose most significant byte is bytes[0].
inline uint64_t load_be64(const void* bytes) noexcept {
  uint64_t v;
  std::memcpy(&v, bytes, sizeof v);
  return std::endian::native == std::endian::little ? byteswap64(v) : v;
}

// Writes v most significant byte first into out (8 bytes).
inline void store_be64(uint64_t v, void* out) noexcept {
  if (std::endian::native == std::endian::little) v = byteswap64(v);
  std::memcpy(out, &v, sizeof v);
}

}  // namespace korvi::base
