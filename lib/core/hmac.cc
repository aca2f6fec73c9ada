#include "core/hmac.h"

#include <sodium.h>

#include <algorithm>
#include <cstring>

#include "core/sha512_batch.h"

namespace korvi::core {
namespace {


void store_be64(uint64_t v, uint8_t* p) noexcept {
  for (int i = 7; i >= 0; --i, v >>= 8) p[i] = static_cast<uint8_t>(v);
}

// A message longer than one block, continuing from a state that has
// absorbed one block: block by block, then the padding with the 128-bit
// length of everything absorbed.
void continue_long(const uint64_t* start, std::string_view prefix, std::string_view suffix,
                   uint8_t* digest) noexcept {
  uint64_t state[8];
  std::memcpy(state, start, sizeof state);
  uint8_t block[kSha512BlockBytes];
  size_t filled = 0;
  for (const std::string_view part : {prefix, suffix}) {
    for (size_t at = 0; at < part.size();) {
      const size_t take = std::min(part.size() - at, kSha512BlockBytes - filled);
      std::memcpy(block + filled, part.data() + at, take);
      filled += take;
      at += take;
      if (filled == kSha512BlockBytes) {
        sha512_compress(state, block);
        filled = 0;
      }
    }
  }
  block[filled++] = 0x80;
  if (filled > kSha512BlockBytes - 16) {
    std::memset(block + filled, 0, kSha512BlockBytes - filled);
    sha512_compress(state, block);
    filled = 0;
  }
  std::memset(block + filled, 0, kSha512BlockBytes - filled);
  // Bytes absorbed, as a 128-bit count of bits.
  const uint64_t bytes = uint64_t{kSha512BlockBytes} + prefix.size() + suffix.size();
  store_be64(bytes >> 61, block + 112);
  store_be64(bytes << 3, block + 120);
  sha512_compress(state, block);
  for (int i = 0; i < 8; ++i) store_be64(state[i], digest + 8 * i);
  sodium_memzero(block, sizeof block);
  sodium_memzero(state, sizeof state);
}

bool fits_one_block(std::string_view prefix, std::string_view suffix) noexcept {
  return prefix.size() + suffix.size() <= kSha512OneBlockMax;
}

}  // namespace

HmacSha512::HmacSha512(std::string_view key) noexcept {
  uint8_t block[kSha512BlockBytes] = {};
  if (key.size() > kSha512BlockBytes) {
    crypto_hash_sha512(block, reinterpret_cast<const unsigned char*>(key.data()), key.size());
  } else if (!key.empty()) {
    std::memcpy(block, key.data(), key.size());
  }
  uint8_t padded[kSha512BlockBytes];
  for (size_t i = 0; i < kSha512BlockBytes; ++i) padded[i] = block[i] ^ 0x36;
  sha512_initial_state(inner_);
  sha512_compress(inner_, padded);
  for (size_t i = 0; i < kSha512BlockBytes; ++i) padded[i] = block[i] ^ 0x5c;
  sha512_initial_state(outer_);
  sha512_compress(outer_, padded);
  sodium_memzero(block, sizeof block);
  sodium_memzero(padded, sizeof padded);
}

HmacSha512::~HmacSha512() {
  sodium_memzero(inner_, sizeof inner_);
  sodium_memzero(outer_, sizeof outer_);
}

namespace {

// Messages are taken in groups; within a group the one-block messages go to
// the kernel together (inner hashes, then outer hashes of their digests) and
// the rare long ones one by one.
constexpr size_t kGroup = 128;

template <class Continued>
void hmac_groups(const uint64_t* inner, const uint64_t* outer, const std::string_view* prefixes,
                 size_t count, std::string_view suffix, uint8_t* digests,
                 Continued&& continued) noexcept {
  std::string_view short_messages[kGroup];
  size_t where[kGroup];
  uint8_t inner_digests[kGroup * kHmacSha512Bytes];
  std::string_view inner_views[kGroup];
  uint8_t outer_digests[kGroup * kHmacSha512Bytes];
  while (count > 0) {
    const size_t n = std::min(count, kGroup);
    size_t m = 0;
    for (size_t i = 0; i < n; ++i) {
      if (fits_one_block(prefixes[i], suffix)) {
        short_messages[m] = prefixes[i];
        where[m++] = i;
      } else {
        continue_long(inner, prefixes[i], suffix, inner_digests);
        const std::string_view digest(reinterpret_cast<const char*>(inner_digests),
                                      kHmacSha512Bytes);
        continued(outer, &digest, 1, {}, digests + kHmacSha512Bytes * i);
      }
    }
    continued(inner, short_messages, m, suffix, inner_digests);
    for (size_t j = 0; j < m; ++j) {
      inner_views[j] = std::string_view(
          reinterpret_cast<const char*>(inner_digests + kHmacSha512Bytes * j), kHmacSha512Bytes);
    }
    if (m == n) {
      continued(outer, inner_views, m, {}, digests);
    } else {
      continued(outer, inner_views, m, {}, outer_digests);
      for (size_t j = 0; j < m; ++j) {
        std::memcpy(digests + kHmacSha512Bytes * where[j], outer_digests + kHmacSha512Bytes * j,
                    kHmacSha512Bytes);
      }
    }
    // Only the part written: zeroing the whole buffer would cost more than
    // hashing a short batch.
    sodium_memzero(inner_digests, kHmacSha512Bytes * std::max<size_t>(m, 1));
    prefixes += n;
    digests += kHmacSha512Bytes * n;
    count -= n;
  }
}

}  // namespace

void HmacSha512::batch(const std::string_view* prefixes, size_t count, std::string_view suffix,
                       uint8_t* digests) const noexcept {
  hmac_groups(inner_, outer_, prefixes, count, suffix, digests,
              [](const uint64_t* state, const std::string_view* p, size_t n, std::string_view s,
                 uint8_t* out) { sha512_batch_continued(state, p, n, s, out); });
}

bool HmacSha512::batch_with(std::string_view kernel, const std::string_view* prefixes,
                            size_t count, std::string_view suffix,
                            uint8_t* digests) const noexcept {
  if (!sha512_kernel_available(kernel)) return false;
  hmac_groups(inner_, outer_, prefixes, count, suffix, digests,
              [kernel](const uint64_t* state, const std::string_view* p, size_t n,
                       std::string_view s, uint8_t* out) {
                sha512_batch_continued_with(kernel, state, p, n, s, out);
              });
  return true;
}

}  // namespace korvi::core
