// Batched SHA-512: every kernel against known answers and against libsodium.
#include <gtest/gtest.h>
#include <sodium.h>

#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "core/sha512_batch.h"
#include "hex.h"

namespace {

using korvi::core::kSha512Kernels;
using korvi::testing::to_hex;
using korvi::core::sha512_batch_with;
using korvi::core::sha512_kernel_available;

std::string reference_hex(std::string_view prefix, std::string_view suffix) {
  const std::string message = std::string(prefix) + std::string(suffix);
  uint8_t digest[crypto_hash_sha512_BYTES];
  crypto_hash_sha512(digest, reinterpret_cast<const unsigned char*>(message.data()),
                     message.size());
  return to_hex(digest, sizeof digest);
}

class Sha512Kernel : public ::testing::TestWithParam<const char*> {
 protected:
  void SetUp() override {
    if (!sha512_kernel_available(GetParam())) GTEST_SKIP() << GetParam() << " not available here";
  }

  // Hashes through the kernel under test into a buffer with a guard area
  // after the count digests, and checks the guard is left alone.
  std::vector<std::string> hash(const std::vector<std::string>& prefixes, std::string_view suffix) {
    std::vector<std::string_view> views(prefixes.begin(), prefixes.end());
    const size_t guard = 64;
    std::vector<uint8_t> out(64 * prefixes.size() + guard, 0xA5);
    EXPECT_TRUE(sha512_batch_with(GetParam(), views.data(), views.size(), suffix, out.data()));
    for (size_t i = 64 * prefixes.size(); i < out.size(); ++i) {
      EXPECT_EQ(out[i], 0xA5) << "wrote past the last digest";
    }
    std::vector<std::string> hex;
    for (size_t i = 0; i < prefixes.size(); ++i) hex.push_back(to_hex(out.data() + 64 * i, 64));
    return hex;
  }
};

// FIPS 180-4 example digests, plus two one-block edge lengths and a window
// with the salt (those three computed with Python's hashlib).
struct KnownAnswer {
  const char* message;
  const char* digest;
};
const KnownAnswer kKnownAnswers[] = {
    {"abc",
     "ddaf35a193617abacc417349ae20413112e6fa4e89a97ea20a9eeee64b55d39a2192992a274fc1a836ba3c23a3fe"
     "ebbd454d4423643ce80e2a9ac94fa54ca49f"},
    {"",
     "cf83e1357eefb8bdf1542850d66d8007d620e4050b5715dc83f4a921d36ce9ce47d0d13c5d85f2b0ff8318d2877e"
     "ec2f63b931bd47417a81a538327af927da3e"},
    {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
     "204a8fc6dda82f0a0ced7beb8e08a41657c16ef468b228a8279be331a703c33596fd15c13b1b07f9aa1d3bea5778"
     "9ca031ad85c7a71dd70354ec631238ca3445"},
    {"abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnopqklmnopqrlmno"
     "pqrsmnopqrstnopqrstu",
     "8e959b75dae313da8cf4f72814fc143f8f7779c6eb9f7fa17299aeadb6889018501d289e4900f7e4331b99dec4b5"
     "433ac7d329eeb6dd26545e96e55b874be909"},
    {"aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa"
     "aaaaaaaaaaaaaaaaaaaa",
     "fa9121c7b32b9e01733d034cfc78cbf67f926c7ed83e82200ef86818196921760b4beff48404df811b953828274"
     "461673c68d04e297b0eb7b2b4d60fc6b566a2"},
    {"ABCDEFGHIJKLMNQm7pZ2vX+9LcT4nB8rKs1A",
     "9f62db2e1eec5c89a56d139b7c71245a2734dbf7e3207cb848280a5504fc204689759f9e994a46d5ab825f5bd913"
     "2d74f7961284bee3b1690bec27ef4940f264"},
};

TEST_P(Sha512Kernel, KnownAnswersAtEverySplit) {
  for (const auto& ka : kKnownAnswers) {
    const std::string_view message = ka.message;
    // The suffix is shared by a batch, so each split gets a batch of its own;
    // nine copies fill whole vector groups and leave a remainder.
    for (size_t split = 0; split <= message.size(); ++split) {
      const std::vector<std::string> batch(9, std::string(message.substr(0, split)));
      for (const auto& hex : hash(batch, message.substr(split))) {
        ASSERT_EQ(hex, ka.digest) << "message of " << message.size() << " bytes split at "
                                  << split;
      }
    }
  }
}

// Random one-block messages for every batch size up to 40, which covers every
// remainder of four and of eight lanes several times over.
TEST_P(Sha512Kernel, MatchesLibsodiumOnOneBlockBatches) {
  std::mt19937 rng(20240611);
  for (size_t count = 0; count <= 40; ++count) {
    for (size_t suffix_len : {size_t{0}, size_t{22}, size_t{57}, size_t{111}}) {
      std::string suffix(suffix_len, '\0');
      for (auto& ch : suffix) ch = static_cast<char>(rng());
      std::uniform_int_distribution<size_t> prefix_len(0, 111 - suffix_len);
      std::vector<std::string> prefixes(count);
      for (auto& p : prefixes) {
        p.resize(prefix_len(rng));
        for (auto& ch : p) ch = static_cast<char>(rng());
      }
      const auto got = hash(prefixes, suffix);
      for (size_t i = 0; i < count; ++i) {
        ASSERT_EQ(got[i], reference_hex(prefixes[i], suffix))
            << "batch of " << count << ", message " << i << " (" << prefixes[i].size() << " + "
            << suffix_len << " bytes)";
      }
    }
  }
}

// Messages just under, at and over one block, and far longer, interleaved so
// that long ones fall between lanes of a vector group.
TEST_P(Sha512Kernel, LongMessagesMixedIntoBatches) {
  std::mt19937 rng(7);
  const std::string suffix = "Qm7pZ2vX+9LcT4nB8rKs1A";
  const size_t lengths[] = {0, 89, 90, 91, 150, 1, 89, 300, 2, 3, 1000, 4, 5, 6, 90, 7, 8, 200};
  std::vector<std::string> prefixes;
  for (size_t n : lengths) {
    std::string p(n, '\0');
    for (auto& ch : p) ch = static_cast<char>('a' + rng() % 26);
    prefixes.push_back(p);
  }
  const auto got = hash(prefixes, suffix);
  for (size_t i = 0; i < prefixes.size(); ++i) {
    EXPECT_EQ(got[i], reference_hex(prefixes[i], suffix)) << (prefixes[i].size() + 22) << " bytes";
  }
  // A suffix too long for one block sends every message down the long road.
  const std::string long_suffix(130, 'x');
  const std::vector<std::string> shorts = {"", "a", "ab", "abc", "abcd", "abcde"};
  const auto got_long = hash(shorts, long_suffix);
  for (size_t i = 0; i < shorts.size(); ++i) {
    EXPECT_EQ(got_long[i], reference_hex(shorts[i], long_suffix));
  }
}

INSTANTIATE_TEST_SUITE_P(AllKernels, Sha512Kernel, ::testing::ValuesIn(kSha512Kernels),
                         [](const auto& info) { return std::string(info.param); });

TEST(Sha512Dispatch, ScalarAndLibsodiumRunEverywhere) {
  EXPECT_TRUE(sha512_kernel_available("scalar"));
  EXPECT_TRUE(sha512_kernel_available("libsodium"));
  EXPECT_FALSE(sha512_kernel_available("sse9"));
  EXPECT_FALSE(sha512_kernel_available(""));
}

TEST(Sha512Dispatch, RequestsFallBackToTheBestAvailable) {
  const char* best = nullptr;
  for (const char* k : kSha512Kernels) {
    if (sha512_kernel_available(k)) {
      best = k;
      break;
    }
  }
  ASSERT_NE(best, nullptr);
  struct Case {
    const char* request;
    std::string expected;
  };
  const Case cases[] = {
      {nullptr, best},
      {"", best},
      {"sse9", best},
      {"SCALAR", best},  // names are exact
      {"scalar", "scalar"},
      {"libsodium", "libsodium"},
      {"avx2", sha512_kernel_available("avx2x4") ? "avx2x4" : best},
      {"avx2x4", sha512_kernel_available("avx2x4") ? "avx2x4" : best},
      {"avx512", sha512_kernel_available("avx512x16") ? "avx512x16" : best},
      {"avx512x8", sha512_kernel_available("avx512x8") ? "avx512x8" : best},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(korvi::core::choose_sha512_kernel(c.request), c.expected)
        << (c.request ? c.request : "(null)");
  }
}

TEST(Sha512Dispatch, ChosenKernelFollowsTheEnvironmentAndHashes) {
  const char* kernel = korvi::core::sha512_batch_kernel();
  EXPECT_STREQ(kernel, korvi::core::choose_sha512_kernel(std::getenv("KORVI_SHA512")));
  EXPECT_TRUE(sha512_kernel_available(kernel));

  const std::vector<std::string> prefixes = {"", "JOHN SMITH JR", std::string(100, 'z'), "abc"};
  const std::vector<std::string_view> views(prefixes.begin(), prefixes.end());
  std::vector<uint8_t> out(64 * prefixes.size());
  korvi::core::sha512_batch(views.data(), views.size(), "Qm7pZ2vX+9LcT4nB8rKs1A", out.data());
  for (size_t i = 0; i < prefixes.size(); ++i) {
    EXPECT_EQ(to_hex(out.data() + 64 * i, 64),
              reference_hex(prefixes[i], "Qm7pZ2vX+9LcT4nB8rKs1A"));
  }
}

TEST(Sha512Dispatch, UnknownKernelWritesNothing) {
  const std::string_view prefix = "abc";
  uint8_t out[64];
  std::memset(out, 0x5A, sizeof out);
  EXPECT_FALSE(sha512_batch_with("sse9", &prefix, 1, "", out));
  for (uint8_t byte : out) EXPECT_EQ(byte, 0x5A);
}

}  // namespace
