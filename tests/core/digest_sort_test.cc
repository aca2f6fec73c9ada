// Digest sorting against std::sort on whole digests, with leading words
// drawn from small pools so ties in the first word (which real SHA-512
// digests almost never show) occur on every path: rank placement for short
// lists; for longer ones one or two radix passes (one ends in the scratch
// and is copied back) with runs of a shared prefix finished by insertion
// sort or, when long, std::sort; beyond 65,535 digests, buckets in place.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <random>
#include <vector>

#include "core/digest_sort.h"

namespace {

using korvi::core::Fingerprints;
using korvi::core::detail::sort_digests;

std::array<uint64_t, 4> words_of(const Fingerprints::Long& digest) {
  return {digest.words[0], digest.words[1], digest.words[2], digest.words[3]};
}

TEST(DigestSort, LongDigestsMatchLexicographicOrder) {
  std::mt19937_64 random(20261208);
  for (size_t n : {0, 1, 2, 3, 8, 17, 31, 32, 33, 48, 49, 255, 256, 1024, 5000, 20000, 65536}) {
    for (uint64_t pool : {uint64_t{2}, uint64_t{7}, uint64_t{0}}) {  // 0: any leading word
      std::vector<Fingerprints::Long> digests(n);
      for (auto& d : digests) {
        // A pool of a few leading words, spread over several leading bytes.
        d.words[0] = pool == 0 ? random() : (random() % pool) * 0x0123456789ABCDEFull;
        d.words[1] = random() % 3;  // ties in the second word too
        d.words[2] = random();
        d.words[3] = random();
      }
      if (n > 4) digests[n / 2] = digests[1];  // a repeated window
      std::vector<std::array<uint64_t, 4>> expected;
      for (const auto& d : digests) expected.push_back(words_of(d));
      std::sort(expected.begin(), expected.end());

      sort_digests(digests);
      ASSERT_EQ(digests.size(), n);
      for (size_t i = 0; i < n; ++i) {
        ASSERT_EQ(words_of(digests[i]), expected[i]) << "n=" << n << " pool=" << pool << " i=" << i;
      }
    }
  }
}

TEST(DigestSort, ShortDigestsMatchNumericOrder) {
  std::mt19937_64 random(7);
  for (size_t n : {0, 1, 2, 16, 32, 33, 100, 255, 256, 2048, 4096, 65535, 70000}) {
    for (uint64_t pool : {uint64_t{3}, uint64_t{0}}) {
      std::vector<uint64_t> digests(n);
      for (auto& d : digests) d = pool == 0 ? random() : (random() % pool) * 0x0123456789ABCDEFull;
      std::vector<uint64_t> expected = digests;
      std::sort(expected.begin(), expected.end());
      sort_digests(digests);
      EXPECT_EQ(digests, expected) << "n=" << n << " pool=" << pool;
    }
  }
}

}  // namespace
