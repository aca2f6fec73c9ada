// Eight one-block messages at once in the 64-bit lanes of AVX-512 registers.
// Built for every x86-64 target; only run where the CPU has AVX-512F/BW/VL.
#include "core/sha512_batch_kernels.h"

#if defined(__x86_64__)

#include "core/sha512_avx512_ops.h"

namespace korvi::core::sha512_detail {

using namespace avx512;  // the round functions KORVI_SHA512_ROUNDS expands to

namespace {

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
