// Four one-block messages at once in the 64-bit lanes of AVX2 registers.
// Built for every x86-64 target; only run where the CPU has AVX2.
#include "core/sha512_batch_kernels.h"

#if defined(__x86_64__)

#include <immintrin.h>

#define KORVI_AVX2 __attribute__((target("avx2")))

namespace korvi::core::sha512_detail {
namespace {

using V = __m256i;

KORVI_AVX2 inline V splat(uint64_t x) { return _mm256_set1_epi64x(static_cast<long long>(x)); }
KORVI_AVX2 inline V add(V a, V b) { return _mm256_add_epi64(a, b); }

template <int n>
KORVI_AVX2 inline V ror(V x) {
  return _mm256_or_si256(_mm256_srli_epi64(x, n), _mm256_slli_epi64(x, 64 - n));
}

// Rotating by a whole byte is one byte shuffle.
KORVI_AVX2 inline V ror8(V x) {
  const V rotate = _mm256_broadcastsi128_si256(
      _mm_set_epi8(8, 15, 14, 13, 12, 11, 10, 9, 0, 7, 6, 5, 4, 3, 2, 1));
  return _mm256_shuffle_epi8(x, rotate);
}

KORVI_AVX2 inline V bswap(V x) {
  const V reverse = _mm256_broadcastsi128_si256(
      _mm_set_epi8(8, 9, 10, 11, 12, 13, 14, 15, 0, 1, 2, 3, 4, 5, 6, 7));
  return _mm256_shuffle_epi8(x, reverse);
}

KORVI_AVX2 inline V xor3(V a, V b, V c) { return _mm256_xor_si256(_mm256_xor_si256(a, b), c); }

KORVI_AVX2 inline V big_sigma0(V x) { return xor3(ror<28>(x), ror<34>(x), ror<39>(x)); }
KORVI_AVX2 inline V big_sigma1(V x) { return xor3(ror<14>(x), ror<18>(x), ror<41>(x)); }
KORVI_AVX2 inline V small_sigma0(V x) { return xor3(ror<1>(x), ror8(x), _mm256_srli_epi64(x, 7)); }
KORVI_AVX2 inline V small_sigma1(V x) {
  return xor3(ror<19>(x), ror<61>(x), _mm256_srli_epi64(x, 6));
}
// (e & f) ^ (~e & g), written as g ^ (e & (f ^ g)).
KORVI_AVX2 inline V choose(V e, V f, V g) {
  return _mm256_xor_si256(g, _mm256_and_si256(e, _mm256_xor_si256(f, g)));
}
// Majority, written as (a & b) | (c & (a | b)).
KORVI_AVX2 inline V majority(V a, V b, V c) {
  return _mm256_or_si256(_mm256_and_si256(a, b), _mm256_and_si256(c, _mm256_or_si256(a, b)));
}

// Rows of four 64-bit words become columns.
KORVI_AVX2 inline void transpose4(V& r0, V& r1, V& r2, V& r3) {
  const V t0 = _mm256_unpacklo_epi64(r0, r1);
  const V t1 = _mm256_unpackhi_epi64(r0, r1);
  const V t2 = _mm256_unpacklo_epi64(r2, r3);
  const V t3 = _mm256_unpackhi_epi64(r2, r3);
  r0 = _mm256_permute2x128_si256(t0, t2, 0x20);
  r1 = _mm256_permute2x128_si256(t1, t3, 0x20);
  r2 = _mm256_permute2x128_si256(t0, t2, 0x31);
  r3 = _mm256_permute2x128_si256(t1, t3, 0x31);
}

#define KORVI_ROUND KORVI_VECTOR_ROUND
#define KORVI_SCHEDULE KORVI_VECTOR_SCHEDULE

}  // namespace

KORVI_AVX2 void hash_lanes_avx2_from(Sha512Start start, const std::string_view* prefixes,
                                     std::string_view suffix, uint8_t* const* out) noexcept {
  alignas(32) uint8_t blocks[kAvx2Lanes][128];
  for (size_t lane = 0; lane < kAvx2Lanes; ++lane) {
    pad_block(prefixes[lane], suffix, blocks[lane], start.absorbed);
  }

  // w[t] holds message word t of the four lanes.
  V w[16];
  for (int quarter = 0; quarter < 4; ++quarter) {
    V r0 = _mm256_load_si256(reinterpret_cast<const V*>(blocks[0] + 32 * quarter));
    V r1 = _mm256_load_si256(reinterpret_cast<const V*>(blocks[1] + 32 * quarter));
    V r2 = _mm256_load_si256(reinterpret_cast<const V*>(blocks[2] + 32 * quarter));
    V r3 = _mm256_load_si256(reinterpret_cast<const V*>(blocks[3] + 32 * quarter));
    transpose4(r0, r1, r2, r3);
    w[4 * quarter + 0] = bswap(r0);
    w[4 * quarter + 1] = bswap(r1);
    w[4 * quarter + 2] = bswap(r2);
    w[4 * quarter + 3] = bswap(r3);
  }

  KORVI_VECTOR_COMPRESS(start, s);
  for (int i = 0; i < 8; ++i) s[i] = bswap(s[i]);
  // Back to one row per lane: words 0-3, then words 4-7.
  transpose4(s[0], s[1], s[2], s[3]);
  transpose4(s[4], s[5], s[6], s[7]);
  for (size_t lane = 0; lane < kAvx2Lanes; ++lane) {
    _mm256_storeu_si256(reinterpret_cast<V*>(out[lane]), s[lane]);
    _mm256_storeu_si256(reinterpret_cast<V*>(out[lane] + 32), s[4 + lane]);
  }
}

#undef KORVI_ROUND
#undef KORVI_SCHEDULE

}  // namespace korvi::core::sha512_detail

#endif  // __x86_64__
