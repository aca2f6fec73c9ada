// Eight one-block messages at once in the 64-bit lanes of AVX-512 registers.
// Built for every x86-64 target; only run where the CPU has AVX-512F/BW/VL.
#include "core/sha512_batch_kernels.h"

#if defined(__x86_64__)

// GCC 12's AVX-512 intrinsics seed unused result lanes with a deliberately
// uninitialized value and then warn about it once inlined; nothing here reads
// such lanes.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wuninitialized"
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#include <immintrin.h>

#define KORVI_AVX512 __attribute__((target("avx512f,avx512bw,avx512vl")))

namespace korvi::core::sha512_detail {
namespace {

using V = __m512i;

KORVI_AVX512 inline V add(V a, V b) { return _mm512_add_epi64(a, b); }
KORVI_AVX512 inline V xor3(V a, V b, V c) { return _mm512_ternarylogic_epi64(a, b, c, 0x96); }

KORVI_AVX512 inline V bswap(V x) {
  const V reverse = _mm512_broadcast_i32x4(
      _mm_set_epi8(8, 9, 10, 11, 12, 13, 14, 15, 0, 1, 2, 3, 4, 5, 6, 7));
  return _mm512_shuffle_epi8(x, reverse);
}

KORVI_AVX512 inline V big_sigma0(V x) {
  return xor3(_mm512_ror_epi64(x, 28), _mm512_ror_epi64(x, 34), _mm512_ror_epi64(x, 39));
}
KORVI_AVX512 inline V big_sigma1(V x) {
  return xor3(_mm512_ror_epi64(x, 14), _mm512_ror_epi64(x, 18), _mm512_ror_epi64(x, 41));
}
KORVI_AVX512 inline V small_sigma0(V x) {
  return xor3(_mm512_ror_epi64(x, 1), _mm512_ror_epi64(x, 8), _mm512_srli_epi64(x, 7));
}
KORVI_AVX512 inline V small_sigma1(V x) {
  return xor3(_mm512_ror_epi64(x, 19), _mm512_ror_epi64(x, 61), _mm512_srli_epi64(x, 6));
}
// e ? f : g, bit by bit.
KORVI_AVX512 inline V choose(V e, V f, V g) { return _mm512_ternarylogic_epi64(e, f, g, 0xCA); }
KORVI_AVX512 inline V majority(V a, V b, V c) { return _mm512_ternarylogic_epi64(a, b, c, 0xE8); }

// Rows of eight 64-bit words become columns.
KORVI_AVX512 inline void transpose8(V* r) {
  V t[8];
  for (int i = 0; i < 8; i += 2) {
    t[i] = _mm512_unpacklo_epi64(r[i], r[i + 1]);     // words 0,2,4,6 of rows i, i+1
    t[i + 1] = _mm512_unpackhi_epi64(r[i], r[i + 1]);  // words 1,3,5,7
  }
  V u[8];
  for (int i = 0; i < 8; i += 4) {
    u[i] = _mm512_shuffle_i64x2(t[i], t[i + 2], 0x88);      // words 0,4
    u[i + 1] = _mm512_shuffle_i64x2(t[i], t[i + 2], 0xDD);  // words 2,6
    u[i + 2] = _mm512_shuffle_i64x2(t[i + 1], t[i + 3], 0x88);  // words 1,5
    u[i + 3] = _mm512_shuffle_i64x2(t[i + 1], t[i + 3], 0xDD);  // words 3,7
  }
  r[0] = _mm512_shuffle_i64x2(u[0], u[4], 0x88);
  r[4] = _mm512_shuffle_i64x2(u[0], u[4], 0xDD);
  r[2] = _mm512_shuffle_i64x2(u[1], u[5], 0x88);
  r[6] = _mm512_shuffle_i64x2(u[1], u[5], 0xDD);
  r[1] = _mm512_shuffle_i64x2(u[2], u[6], 0x88);
  r[5] = _mm512_shuffle_i64x2(u[2], u[6], 0xDD);
  r[3] = _mm512_shuffle_i64x2(u[3], u[7], 0x88);
  r[7] = _mm512_shuffle_i64x2(u[3], u[7], 0xDD);
}

// Terms not depending on the previous round are summed apart, which keeps
// the chain from one round to the next short.
#define KORVI_ROUND(a, b, c, d, e, f, g, h, i)                                              \
  do {                                                                                      \
    const V t1 = add(add(h, add(w[i], _mm512_set1_epi64(static_cast<long long>(k[i])))),      \
                     add(big_sigma1(e), choose(e, f, g)));                                  \
    d = add(d, t1);                                                                         \
    h = add(t1, add(big_sigma0(a), majority(a, b, c)));                                     \
  } while (0)

#define KORVI_SCHEDULE(j)                                                              \
  w[j] = add(add(w[j], small_sigma1(w[(j + 14) & 15])),                                \
             add(w[(j + 9) & 15], small_sigma0(w[(j + 1) & 15])))

// The first n (at most 64) bytes of a 64-byte vector.
KORVI_AVX512 inline __mmask64 first_bytes(size_t n) {
  return _cvtu64_mask64(n >= 64 ? ~uint64_t{0} : (uint64_t{1} << n) - 1);
}

// pad_block with masked loads and stores instead of memset and memcpy: the
// masks keep every access inside the message and the block, and masked-off
// bytes are never read, so nothing past the end of a prefix is touched.
KORVI_AVX512 inline void pad_block_avx512(std::string_view prefix, std::string_view suffix,
                                          uint8_t* block, uint64_t absorbed) {
  const size_t p = prefix.size();
  const V zero = _mm512_setzero_si512();
  const auto* from = reinterpret_cast<const uint8_t*>(prefix.data());
  _mm512_store_si512(block, p == 0 ? zero : _mm512_maskz_loadu_epi8(first_bytes(p), from));
  _mm512_store_si512(block + 64,
                     p <= 64 ? zero : _mm512_maskz_loadu_epi8(first_bytes(p - 64), from + 64));
  const auto* tail = reinterpret_cast<const uint8_t*>(suffix.data());
  for (size_t done = 0; done < suffix.size(); done += 64) {
    const __mmask64 mask = first_bytes(suffix.size() - done);
    _mm512_mask_storeu_epi8(block + p + done, mask, _mm512_maskz_loadu_epi8(mask, tail + done));
  }
  const size_t length = p + suffix.size();
  block[length] = 0x80;
  const uint64_t bits = (absorbed + length) * 8;  // below 65536 here: two bytes suffice
  block[126] = static_cast<uint8_t>(bits >> 8);
  block[127] = static_cast<uint8_t>(bits);
}

}  // namespace

KORVI_AVX512 void hash_lanes_avx512_from(Sha512Start start, const std::string_view* prefixes,
                                         std::string_view suffix, uint8_t* const* out) noexcept {
  alignas(64) uint8_t blocks[kAvx512Lanes][128];
  for (size_t lane = 0; lane < kAvx512Lanes; ++lane) {
    pad_block_avx512(prefixes[lane], suffix, blocks[lane], start.absorbed);
  }

  // w[t] holds message word t of the eight lanes.
  V w[16];
  for (int half = 0; half < 2; ++half) {
    V r[8];
    for (size_t lane = 0; lane < kAvx512Lanes; ++lane) {
      r[lane] = _mm512_load_si512(blocks[lane] + 64 * half);
    }
    transpose8(r);
    for (int i = 0; i < 8; ++i) w[8 * half + i] = bswap(r[i]);
  }

  V a = _mm512_set1_epi64(static_cast<long long>(start.state[0]));
  V b = _mm512_set1_epi64(static_cast<long long>(start.state[1]));
  V c = _mm512_set1_epi64(static_cast<long long>(start.state[2]));
  V d = _mm512_set1_epi64(static_cast<long long>(start.state[3]));
  V e = _mm512_set1_epi64(static_cast<long long>(start.state[4]));
  V f = _mm512_set1_epi64(static_cast<long long>(start.state[5]));
  V g = _mm512_set1_epi64(static_cast<long long>(start.state[6]));
  V h = _mm512_set1_epi64(static_cast<long long>(start.state[7]));

  KORVI_SHA512_ROUNDS();

  V s[8] = {a, b, c, d, e, f, g, h};
  for (int i = 0; i < 8; ++i) {
    s[i] = add(s[i], _mm512_set1_epi64(static_cast<long long>(start.state[i])));
  }
  transpose8(s);  // now one row per lane
  for (size_t lane = 0; lane < kAvx512Lanes; ++lane) {
    _mm512_storeu_si512(out[lane], bswap(s[lane]));
  }
}

#undef KORVI_ROUND
#undef KORVI_SCHEDULE

}  // namespace korvi::core::sha512_detail

#endif  // __x86_64__
