// Two one-block messages at once in the 64-bit lanes of WebAssembly SIMD128
// registers. Built only for WebAssembly with -msimd128; there it is the
// default kernel (Node 20 and current browsers all run SIMD128).
#include "core/sha512_batch_kernels.h"

#if defined(__wasm_simd128__)

#include <wasm_simd128.h>

#include <cstring>

namespace korvi::core::sha512_detail {
namespace {

using V = v128_t;

inline V add(V a, V b) { return wasm_i64x2_add(a, b); }
inline V splat(uint64_t x) { return wasm_i64x2_splat(static_cast<int64_t>(x)); }

// No vector rotate in SIMD128: two shifts and an or.
template <int n>
inline V ror(V x) {
  return wasm_v128_or(wasm_u64x2_shr(x, n), wasm_i64x2_shl(x, 64 - n));
}

inline V bswap(V x) {
  return wasm_i8x16_shuffle(x, x, 7, 6, 5, 4, 3, 2, 1, 0, 15, 14, 13, 12, 11, 10, 9, 8);
}

inline V xor3(V a, V b, V c) { return wasm_v128_xor(wasm_v128_xor(a, b), c); }

inline V big_sigma0(V x) { return xor3(ror<28>(x), ror<34>(x), ror<39>(x)); }
inline V big_sigma1(V x) { return xor3(ror<14>(x), ror<18>(x), ror<41>(x)); }
// Rotating by 8 takes shifts too: a byte shuffle would be one instruction,
// but engines build its pattern in a register each time (four more).
inline V small_sigma0(V x) { return xor3(ror<1>(x), ror<8>(x), wasm_u64x2_shr(x, 7)); }
inline V small_sigma1(V x) { return xor3(ror<19>(x), ror<61>(x), wasm_u64x2_shr(x, 6)); }
// (e & f) | (~e & g): f where e has a one, else g.
inline V choose(V e, V f, V g) { return wasm_v128_bitselect(f, g, e); }
// Where a and c differ the majority is b's bit, elsewhere theirs.
inline V majority(V a, V b, V c) { return wasm_v128_bitselect(b, a, wasm_v128_xor(a, c)); }

#define KORVI_ROUND KORVI_VECTOR_ROUND
#define KORVI_SCHEDULE KORVI_VECTOR_SCHEDULE

// Copies fewer than 128 bytes in pieces of constant size, which become
// plain loads and stores: in WebAssembly a memcpy or memset call costs more
// than copying a window and the salt (they were a twentieth of a name's time).
inline uint8_t* copy_short(uint8_t* out, const char* in, size_t n) {
  const auto piece = [&](size_t size) {
    if ((n & size) == 0) return;
    std::memcpy(out, in, size);
    out += size;
    in += size;
  };
  piece(64);
  piece(32);
  piece(16);
  piece(8);
  piece(4);
  piece(2);
  piece(1);
  return out;
}

// pad_block without those calls. The zeros come from a value the compiler
// cannot prove zero (absorbed is 0 or 128), so that its eight stores stay
// stores instead of being merged back into a memset call.
inline void pad_block_simd128(std::string_view prefix, std::string_view suffix, uint8_t* block,
                              uint64_t absorbed) {
  const v128_t zero = wasm_i64x2_splat(static_cast<int64_t>(absorbed >> 63));
  for (int i = 0; i < 128; i += 16) wasm_v128_store(block + i, zero);
  uint8_t* end = copy_short(block, prefix.data(), prefix.size());
  end = copy_short(end, suffix.data(), suffix.size());
  *end = 0x80;
  const uint64_t bits = (absorbed + prefix.size() + suffix.size()) * 8;  // below 65536 here
  block[126] = static_cast<uint8_t>(bits >> 8);
  block[127] = static_cast<uint8_t>(bits);
}

}  // namespace

void hash_lanes_simd128_from(Sha512Start start, const std::string_view* prefixes,
                             std::string_view suffix, uint8_t* const* out) noexcept {
  alignas(16) uint8_t blocks[kSimd128Lanes][128];
  for (size_t lane = 0; lane < kSimd128Lanes; ++lane) {
    pad_block_simd128(prefixes[lane], suffix, blocks[lane], start.absorbed);
  }

  // w[t] holds message word t of both lanes.
  V w[16];
  for (int t = 0; t < 16; t += 2) {
    const V r0 = wasm_v128_load(blocks[0] + 8 * t);
    const V r1 = wasm_v128_load(blocks[1] + 8 * t);
    w[t] = bswap(wasm_i64x2_shuffle(r0, r1, 0, 2));
    w[t + 1] = bswap(wasm_i64x2_shuffle(r0, r1, 1, 3));
  }

  KORVI_VECTOR_COMPRESS(start, s);
  for (int i = 0; i < 8; ++i) s[i] = bswap(s[i]);
  // Back to one row per lane, two words at a time.
  for (int i = 0; i < 8; i += 2) {
    wasm_v128_store(out[0] + 8 * i, wasm_i64x2_shuffle(s[i], s[i + 1], 0, 2));
    wasm_v128_store(out[1] + 8 * i, wasm_i64x2_shuffle(s[i], s[i + 1], 1, 3));
  }
}

#undef KORVI_ROUND
#undef KORVI_SCHEDULE

}  // namespace korvi::core::sha512_detail

#endif  // __wasm_simd128__
