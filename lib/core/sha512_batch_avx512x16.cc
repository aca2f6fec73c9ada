// Sixteen one-block messages at once: two groups of eight AVX-512 lanes whose
// rounds are interleaved, so the two independent dependency chains hide each
// other's rotate and add latency. Only run where the CPU has AVX-512F/BW/VL.
#include "core/sha512_batch_kernels.h"

#if defined(__x86_64__)

#include "core/sha512_avx512_ops.h"

namespace korvi::core::sha512_detail {

using namespace avx512;  // the round functions KORVI_SHA512_ROUNDS expands to

KORVI_AVX512 void hash_lanes_avx512x16_from(Sha512Start start, const std::string_view* prefixes,
                                            std::string_view suffix, uint8_t* const* out) noexcept {
  alignas(64) uint8_t blocks[16][128];
  for (size_t lane = 0; lane < 16; ++lane) {
    pad_block_avx512(prefixes[lane], suffix, blocks[lane], start.absorbed);
  }

  W w[16];
  {
    V first[16], second[16];
    load_words(blocks, first);
    load_words(blocks + 8, second);
    for (int i = 0; i < 16; ++i) w[i] = {first[i], second[i]};
  }
  V initial[8];
  for (int i = 0; i < 8; ++i) initial[i] = splat(start.state[i]);
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
