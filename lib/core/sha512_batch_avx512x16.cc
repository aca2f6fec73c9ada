// Sixteen one-block messages at once: two groups of eight AVX-512 lanes whose
// rounds are interleaved, so the two independent dependency chains hide each
// other's rotate and add latency. Only run where the CPU has AVX-512F/BW/VL.
#include "core/sha512_batch_kernels.h"

#if defined(__x86_64__)

#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wuninitialized"
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#include <immintrin.h>

#define KORVI_AVX512 __attribute__((target("avx512f,avx512bw,avx512vl")))

namespace korvi::core::sha512_detail {
namespace {

using V = __m512i;

// One word of both groups: every operation applies to each half.
struct W {
  V x, y;
};

KORVI_AVX512 inline W add(W a, W b) { return {_mm512_add_epi64(a.x, b.x), _mm512_add_epi64(a.y, b.y)}; }
KORVI_AVX512 inline W add(W a, V b) { return {_mm512_add_epi64(a.x, b), _mm512_add_epi64(a.y, b)}; }
template <int imm>
KORVI_AVX512 inline W ternary(W a, W b, W c) {
  return {_mm512_ternarylogic_epi64(a.x, b.x, c.x, imm), _mm512_ternarylogic_epi64(a.y, b.y, c.y, imm)};
}
template <int n>
KORVI_AVX512 inline W ror(W a) { return {_mm512_ror_epi64(a.x, n), _mm512_ror_epi64(a.y, n)}; }
template <int n>
KORVI_AVX512 inline W shr(W a) { return {_mm512_srli_epi64(a.x, n), _mm512_srli_epi64(a.y, n)}; }

KORVI_AVX512 inline W big_sigma0(W x) { return ternary<0x96>(ror<28>(x), ror<34>(x), ror<39>(x)); }
KORVI_AVX512 inline W big_sigma1(W x) { return ternary<0x96>(ror<14>(x), ror<18>(x), ror<41>(x)); }
KORVI_AVX512 inline W small_sigma0(W x) { return ternary<0x96>(ror<1>(x), ror<8>(x), shr<7>(x)); }
KORVI_AVX512 inline W small_sigma1(W x) { return ternary<0x96>(ror<19>(x), ror<61>(x), shr<6>(x)); }
KORVI_AVX512 inline W choose(W e, W f, W g) { return ternary<0xCA>(e, f, g); }
KORVI_AVX512 inline W majority(W a, W b, W c) { return ternary<0xE8>(a, b, c); }

KORVI_AVX512 inline V bswap(V x) {
  const V reverse = _mm512_broadcast_i32x4(
      _mm_set_epi8(8, 9, 10, 11, 12, 13, 14, 15, 0, 1, 2, 3, 4, 5, 6, 7));
  return _mm512_shuffle_epi8(x, reverse);
}

// Rows of eight 64-bit words become columns (as in the eight-lane kernel).
KORVI_AVX512 inline void transpose8(V* r) {
  V t[8];
  for (int i = 0; i < 8; i += 2) {
    t[i] = _mm512_unpacklo_epi64(r[i], r[i + 1]);
    t[i + 1] = _mm512_unpackhi_epi64(r[i], r[i + 1]);
  }
  V u[8];
  for (int i = 0; i < 8; i += 4) {
    u[i] = _mm512_shuffle_i64x2(t[i], t[i + 2], 0x88);
    u[i + 1] = _mm512_shuffle_i64x2(t[i], t[i + 2], 0xDD);
    u[i + 2] = _mm512_shuffle_i64x2(t[i + 1], t[i + 3], 0x88);
    u[i + 3] = _mm512_shuffle_i64x2(t[i + 1], t[i + 3], 0xDD);
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

#define KORVI_ROUND(a, b, c, d, e, f, g, h, i)                                              \
  do {                                                                                      \
    const W t1 = add(add(h, add(w[i], _mm512_set1_epi64(static_cast<long long>(k[i])))),      \
                     add(big_sigma1(e), choose(e, f, g)));                                  \
    d = add(d, t1);                                                                         \
    h = add(t1, add(big_sigma0(a), majority(a, b, c)));                                     \
  } while (0)

#define KORVI_SCHEDULE(j)                                                              \
  w[j] = add(add(w[j], small_sigma1(w[(j + 14) & 15])),                                \
             add(w[(j + 9) & 15], small_sigma0(w[(j + 1) & 15])))

// Message words of eight padded blocks, one vector per word.
KORVI_AVX512 inline void load_words(const uint8_t (*blocks)[128], V* words) {
  for (int half = 0; half < 2; ++half) {
    V r[8];
    for (int lane = 0; lane < 8; ++lane) r[lane] = _mm512_load_si512(blocks[lane] + 64 * half);
    transpose8(r);
    for (int i = 0; i < 8; ++i) words[8 * half + i] = bswap(r[i]);
  }
}

}  // namespace

KORVI_AVX512 void hash_lanes_avx512x16_from(Sha512Start start, const std::string_view* prefixes,
                                            std::string_view suffix, uint8_t* const* out) noexcept {
  alignas(64) uint8_t blocks[16][128];
  for (size_t lane = 0; lane < 16; ++lane) pad_block(prefixes[lane], suffix, blocks[lane], start.absorbed);

  W w[16];
  {
    V first[16], second[16];
    load_words(blocks, first);
    load_words(blocks + 8, second);
    for (int i = 0; i < 16; ++i) w[i] = {first[i], second[i]};
  }
  V initial[8];
  for (int i = 0; i < 8; ++i) initial[i] = _mm512_set1_epi64(static_cast<long long>(start.state[i]));
  W a = {initial[0], initial[0]}, b = {initial[1], initial[1]}, c = {initial[2], initial[2]},
    d = {initial[3], initial[3]}, e = {initial[4], initial[4]}, f = {initial[5], initial[5]},
    g = {initial[6], initial[6]}, h = {initial[7], initial[7]};

  KORVI_SHA512_ROUNDS();

  const W s[8] = {a, b, c, d, e, f, g, h};
  V rows[2][8];
  for (int i = 0; i < 8; ++i) {
    rows[0][i] = _mm512_add_epi64(s[i].x, initial[i]);
    rows[1][i] = _mm512_add_epi64(s[i].y, initial[i]);
  }
  for (int group = 0; group < 2; ++group) {
    transpose8(rows[group]);  // now one row per lane
    for (int lane = 0; lane < 8; ++lane) _mm512_storeu_si512(out[8 * group + lane], bswap(rows[group][lane]));
  }
}

#undef KORVI_ROUND
#undef KORVI_SCHEDULE

}  // namespace korvi::core::sha512_detail

#endif  // __x86_64__
