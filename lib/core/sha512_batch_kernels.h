// Pieces shared by the sha512_batch kernels (one source file per instruction
// set, so each can carry its own target attributes).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "core/sha512_batch.h"

namespace korvi::core::sha512_detail {

inline constexpr uint64_t kRoundConstants[80] = {
    0x428a2f98d728ae22, 0x7137449123ef65cd, 0xb5c0fbcfec4d3b2f, 0xe9b5dba58189dbbc,
    0x3956c25bf348b538, 0x59f111f1b605d019, 0x923f82a4af194f9b, 0xab1c5ed5da6d8118,
    0xd807aa98a3030242, 0x12835b0145706fbe, 0x243185be4ee4b28c, 0x550c7dc3d5ffb4e2,
    0x72be5d74f27b896f, 0x80deb1fe3b1696b1, 0x9bdc06a725c71235, 0xc19bf174cf692694,
    0xe49b69c19ef14ad2, 0xefbe4786384f25e3, 0x0fc19dc68b8cd5b5, 0x240ca1cc77ac9c65,
    0x2de92c6f592b0275, 0x4a7484aa6ea6e483, 0x5cb0a9dcbd41fbd4, 0x76f988da831153b5,
    0x983e5152ee66dfab, 0xa831c66d2db43210, 0xb00327c898fb213f, 0xbf597fc7beef0ee4,
    0xc6e00bf33da88fc2, 0xd5a79147930aa725, 0x06ca6351e003826f, 0x142929670a0e6e70,
    0x27b70a8546d22ffc, 0x2e1b21385c26c926, 0x4d2c6dfc5ac42aed, 0x53380d139d95b3df,
    0x650a73548baf63de, 0x766a0abb3c77b2a8, 0x81c2c92e47edaee6, 0x92722c851482353b,
    0xa2bfe8a14cf10364, 0xa81a664bbc423001, 0xc24b8b70d0f89791, 0xc76c51a30654be30,
    0xd192e819d6ef5218, 0xd69906245565a910, 0xf40e35855771202a, 0x106aa07032bbd1b8,
    0x19a4c116b8d2d0c8, 0x1e376c085141ab53, 0x2748774cdf8eeb99, 0x34b0bcb5e19b48a8,
    0x391c0cb3c5c95a63, 0x4ed8aa4ae3418acb, 0x5b9cca4f7763e373, 0x682e6ff3d6b2b8a3,
    0x748f82ee5defb2fc, 0x78a5636f43172f60, 0x84c87814a1f0ab72, 0x8cc702081a6439ec,
    0x90befffa23631e28, 0xa4506cebde82bde9, 0xbef9a3f7b2c67915, 0xc67178f2e372532b,
    0xca273eceea26619c, 0xd186b8c721c0c207, 0xeada7dd6cde0eb1e, 0xf57d4f7fee6ed178,
    0x06f067aa72176fba, 0x0a637dc5a2c898a6, 0x113f9804bef90dae, 0x1b710b35131c471b,
    0x28db77f523047d84, 0x32caab7b40c72493, 0x3c9ebe0a15c9bebc, 0x431d67c49c100d4c,
    0x4cc5d4becb3e42b6, 0x597f299cfc657e2a, 0x5fcb6fab3ad6faec, 0x6c44198c4a475817,
};

inline constexpr uint64_t kInitialState[8] = {
    0x6a09e667f3bcc908, 0xbb67ae8584caa73b, 0x3c6ef372fe94f82b, 0xa54ff53a5f1d36f1,
    0x510e527fade682d1, 0x9b05688c2b3e6c1f, 0x1f83d9abfb41bd6b, 0x5be0cd19137e2179,
};

inline bool fits_one_block(std::string_view prefix, std::string_view suffix) noexcept {
  return prefix.size() <= kSha512OneBlockMax && suffix.size() <= kSha512OneBlockMax - prefix.size();
}

// Where a hash starts: the chaining state and the bytes already absorbed
// into it (0 for a fresh hash, 128 after an HMAC key block).
struct Sha512Start {
  const uint64_t* state;
  uint64_t absorbed;
};
inline constexpr Sha512Start kFreshStart = {kInitialState, 0};

// The padded block of prefix + suffix, which must fit one block: the
// message, 0x80, zeros, and the bit length (absorbed bytes included) in the
// last 16 bytes.
inline void pad_block(std::string_view prefix, std::string_view suffix, uint8_t* block,
                      uint64_t absorbed = 0) noexcept {
  const size_t length = prefix.size() + suffix.size();
  std::memset(block, 0, 128);
  if (!prefix.empty()) std::memcpy(block, prefix.data(), prefix.size());
  if (!suffix.empty()) std::memcpy(block + prefix.size(), suffix.data(), suffix.size());
  block[length] = 0x80;
  const uint64_t bits = (absorbed + length) * 8;  // below 65536 here: two bytes suffice
  block[126] = static_cast<uint8_t>(bits >> 8);
  block[127] = static_cast<uint8_t>(bits);
}

// The round and schedule step of the vector kernels, over a word type with
// add(), splat() of a 64-bit constant and the round functions. Terms not
// depending on the previous round are summed apart, which keeps the chain
// from one round to the next short. A vector kernel defines KORVI_ROUND and
// KORVI_SCHEDULE as these.
#define KORVI_VECTOR_ROUND(a, b, c, d, e, f, g, h, i)                                      \
  do {                                                                                     \
    const auto t1 = add(add(h, add(w[i], splat(k[i]))), add(big_sigma1(e), choose(e, f, g))); \
    d = add(d, t1);                                                                        \
    h = add(t1, add(big_sigma0(a), majority(a, b, c)));                                    \
  } while (0)

#define KORVI_VECTOR_SCHEDULE(j)                                                       \
  w[j] = add(add(w[j], small_sigma1(w[(j + 14) & 15])),                                \
             add(w[(j + 9) & 15], small_sigma0(w[(j + 1) & 15])))

// A vector kernel's compression: state variables a..h from start (every
// lane alike), the 80 rounds over its w, and the feed-forward into s[8]
// (state word i of every lane in s[i]), with the kernel's V, add and splat.
#define KORVI_VECTOR_COMPRESS(start, s)                                                     \
  V a = splat((start).state[0]), b = splat((start).state[1]), c = splat((start).state[2]),  \
    d = splat((start).state[3]), e = splat((start).state[4]), f = splat((start).state[5]),  \
    g = splat((start).state[6]), h = splat((start).state[7]);                               \
  KORVI_SHA512_ROUNDS();                                                                    \
  V s[8] = {a, b, c, d, e, f, g, h};                                                        \
  for (int i = 0; i < 8; ++i) s[i] = add(s[i], splat((start).state[i]))

// The 80 rounds over state variables a..h and a ring w of 16 schedule words,
// written out so the state never moves between registers. Each kernel
// defines, for its own word type, KORVI_ROUND(a, b, c, d, e, f, g, h, i)
// (round i of the 16 from k) and KORVI_SCHEDULE(j) (w[j] becomes the word 16
// places on) before expanding KORVI_SHA512_ROUNDS.
#define KORVI_SHA512_EIGHT_ROUNDS(i)          \
  KORVI_ROUND(a, b, c, d, e, f, g, h, i + 0); \
  KORVI_ROUND(h, a, b, c, d, e, f, g, i + 1); \
  KORVI_ROUND(g, h, a, b, c, d, e, f, i + 2); \
  KORVI_ROUND(f, g, h, a, b, c, d, e, i + 3); \
  KORVI_ROUND(e, f, g, h, a, b, c, d, i + 4); \
  KORVI_ROUND(d, e, f, g, h, a, b, c, i + 5); \
  KORVI_ROUND(c, d, e, f, g, h, a, b, i + 6); \
  KORVI_ROUND(b, c, d, e, f, g, h, a, i + 7)

#define KORVI_SHA512_ROUNDS()                                                       \
  for (int t = 0; t < 80; t += 16) {                                                \
    if (t > 0) {                                                                    \
      KORVI_SCHEDULE(0); KORVI_SCHEDULE(1); KORVI_SCHEDULE(2); KORVI_SCHEDULE(3);   \
      KORVI_SCHEDULE(4); KORVI_SCHEDULE(5); KORVI_SCHEDULE(6); KORVI_SCHEDULE(7);   \
      KORVI_SCHEDULE(8); KORVI_SCHEDULE(9); KORVI_SCHEDULE(10); KORVI_SCHEDULE(11); \
      KORVI_SCHEDULE(12); KORVI_SCHEDULE(13); KORVI_SCHEDULE(14); KORVI_SCHEDULE(15); \
    }                                                                               \
    const uint64_t* k = kRoundConstants + t;                                        \
    KORVI_SHA512_EIGHT_ROUNDS(0);                                                   \
    KORVI_SHA512_EIGHT_ROUNDS(8);                                                   \
  }

// Any length, through libsodium.
void hash_general(std::string_view prefix, std::string_view suffix, uint8_t* digest) noexcept;

// One message of at most 111 bytes continuing from start, portable code.
void hash_one_block_from(Sha512Start start, std::string_view prefix, std::string_view suffix,
                         uint8_t* digest) noexcept;
// One raw 128-byte block (no padding) compressed into state.
void compress_block(uint64_t* state, const uint8_t* block) noexcept;

// A vector kernel hashes Lanes one-block messages at once, continuing from
// start (a fresh hash, or HMAC's inner and outer hashes): prefixes[i] +
// suffix into out[i] (64 bytes each).
using LaneKernelFrom = void (*)(Sha512Start start, const std::string_view* prefixes,
                                std::string_view suffix, uint8_t* const* out) noexcept;

#if defined(__x86_64__)
inline constexpr size_t kAvx2Lanes = 4;
inline constexpr size_t kAvx512Lanes = 8;
inline constexpr size_t kAvx512x16Lanes = 16;
void hash_lanes_avx2_from(Sha512Start start, const std::string_view* prefixes,
                          std::string_view suffix, uint8_t* const* out) noexcept;
void hash_lanes_avx512_from(Sha512Start start, const std::string_view* prefixes,
                            std::string_view suffix, uint8_t* const* out) noexcept;
// Two groups of eight lanes, interleaved.
void hash_lanes_avx512x16_from(Sha512Start start, const std::string_view* prefixes,
                               std::string_view suffix, uint8_t* const* out) noexcept;
#endif

#if defined(__wasm_simd128__)
inline constexpr size_t kSimd128Lanes = 2;
void hash_lanes_simd128_from(Sha512Start start, const std::string_view* prefixes,
                             std::string_view suffix, uint8_t* const* out) noexcept;
#endif

}  // namespace korvi::core::sha512_detail
