// AVX-512 building blocks of the eight- and sixteen-lane SHA-512 kernels:
// a word of eight lanes (V) or of two groups of eight whose rounds are
// interleaved (W), the round functions over either, the padding of a block
// with masked loads, and the transposes between padded blocks and message
// words. Included only by those kernels, on x86-64.
#pragma once

// GCC 12's AVX-512 intrinsics seed unused result lanes with a deliberately
// uninitialized value and then warn about it once inlined; nothing here reads
// such lanes.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wuninitialized"
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#include <immintrin.h>

#include <cstddef>
#include <cstdint>
#include <string_view>

#define KORVI_AVX512 __attribute__((target("avx512f,avx512bw,avx512vl")))

namespace korvi::core::sha512_detail::avx512 {

using V = __m512i;

// One word of both groups: every operation applies to each half.
struct W {
  V x, y;
};

KORVI_AVX512 inline V splat(uint64_t x) { return _mm512_set1_epi64(static_cast<long long>(x)); }
KORVI_AVX512 inline V add(V a, V b) { return _mm512_add_epi64(a, b); }
KORVI_AVX512 inline W add(W a, W b) { return {_mm512_add_epi64(a.x, b.x), _mm512_add_epi64(a.y, b.y)}; }
KORVI_AVX512 inline W add(W a, V b) { return {_mm512_add_epi64(a.x, b), _mm512_add_epi64(a.y, b)}; }
template <int imm>
KORVI_AVX512 inline V ternary(V a, V b, V c) { return _mm512_ternarylogic_epi64(a, b, c, imm); }
template <int imm>
KORVI_AVX512 inline W ternary(W a, W b, W c) {
  return {_mm512_ternarylogic_epi64(a.x, b.x, c.x, imm), _mm512_ternarylogic_epi64(a.y, b.y, c.y, imm)};
}
template <int n>
KORVI_AVX512 inline V ror(V a) { return _mm512_ror_epi64(a, n); }
template <int n>
KORVI_AVX512 inline W ror(W a) { return {_mm512_ror_epi64(a.x, n), _mm512_ror_epi64(a.y, n)}; }
template <int n>
KORVI_AVX512 inline V shr(V a) { return _mm512_srli_epi64(a, n); }
template <int n>
KORVI_AVX512 inline W shr(W a) { return {_mm512_srli_epi64(a.x, n), _mm512_srli_epi64(a.y, n)}; }

// 0x96 is a ^ b ^ c; 0xCA is e ? f : g, bit by bit; 0xE8 the majority.
template <class T>
KORVI_AVX512 inline T big_sigma0(T x) { return ternary<0x96>(ror<28>(x), ror<34>(x), ror<39>(x)); }
template <class T>
KORVI_AVX512 inline T big_sigma1(T x) { return ternary<0x96>(ror<14>(x), ror<18>(x), ror<41>(x)); }
template <class T>
KORVI_AVX512 inline T small_sigma0(T x) { return ternary<0x96>(ror<1>(x), ror<8>(x), shr<7>(x)); }
template <class T>
KORVI_AVX512 inline T small_sigma1(T x) { return ternary<0x96>(ror<19>(x), ror<61>(x), shr<6>(x)); }
template <class T>
KORVI_AVX512 inline T choose(T e, T f, T g) { return ternary<0xCA>(e, f, g); }
template <class T>
KORVI_AVX512 inline T majority(T a, T b, T c) { return ternary<0xE8>(a, b, c); }

KORVI_AVX512 inline V bswap(V x) {
  const V reverse = _mm512_broadcast_i32x4(
      _mm_set_epi8(8, 9, 10, 11, 12, 13, 14, 15, 0, 1, 2, 3, 4, 5, 6, 7));
  return _mm512_shuffle_epi8(x, reverse);
}

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

// Message words of eight padded blocks, one vector per word.
KORVI_AVX512 inline void load_words(const uint8_t (*blocks)[128], V* words) {
  for (int half = 0; half < 2; ++half) {
    V r[8];
    for (int lane = 0; lane < 8; ++lane) r[lane] = _mm512_load_si512(blocks[lane] + 64 * half);
    transpose8(r);
    for (int i = 0; i < 8; ++i) words[8 * half + i] = bswap(r[i]);
  }
}

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

}  // namespace korvi::core::sha512_detail::avx512

#define KORVI_ROUND KORVI_VECTOR_ROUND
#define KORVI_SCHEDULE KORVI_VECTOR_SCHEDULE
