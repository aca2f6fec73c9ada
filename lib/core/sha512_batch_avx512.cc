// Eight one-block messages at once in the 64-bit lanes of AVX-512 registers.
// Built for every x86-64 target; only run where the CPU has AVX-512F/BW/VL.
#include "core/sha512_batch_kernels.h"

#if defined(__x86_64__)

#include "core/sha512_avx512_ops.h"

namespace korvi::core::sha512_detail {

using namespace avx512;  // the round functions KORVI_SHA512_ROUNDS expands to

KORVI_AVX512 void hash_lanes_avx512_from(Sha512Start start, const std::string_view* prefixes,
                                         std::string_view suffix, uint8_t* const* out) noexcept {
  alignas(64) uint8_t blocks[kAvx512Lanes][128];
  for (size_t lane = 0; lane < kAvx512Lanes; ++lane) {
    pad_block_avx512(prefixes[lane], suffix, blocks[lane], start.absorbed);
  }

  // w[t] holds message word t of the eight lanes.
  V w[16];
  load_words(blocks, w);

  KORVI_VECTOR_COMPRESS(start, s);
  transpose8(s);  // now one row per lane
  for (size_t lane = 0; lane < kAvx512Lanes; ++lane) {
    _mm512_storeu_si512(out[lane], bswap(s[lane]));
  }
}

#undef KORVI_ROUND
#undef KORVI_SCHEDULE

}  // namespace korvi::core::sha512_detail

#endif  // __x86_64__
