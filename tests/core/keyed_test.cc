// HMAC-SHA512 through every kernel (RFC 4231 and libsodium), the key
// derivation (HKDF values printed by tests/core/print_expected.py, Python's
// hmac), and keyed fingerprints on the internal roads.
#include <gtest/gtest.h>
#include <sodium.h>

#include <memory>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "core/fingerprints.h"
#include "core/hmac.h"
#include "core/keyed.h"
#include "core/sha512_batch.h"
#include "hex.h"

namespace {

using korvi::core::HmacSha512;
using korvi::testing::to_hex;
using korvi::core::kSha512Kernels;
using korvi::core::sha512_kernel_available;

std::string sodium_hmac_hex(std::string_view key, std::string_view message) {
  crypto_auth_hmacsha512_state state;
  crypto_auth_hmacsha512_init(&state, reinterpret_cast<const unsigned char*>(key.data()),
                              key.size());
  crypto_auth_hmacsha512_update(&state, reinterpret_cast<const unsigned char*>(message.data()),
                                message.size());
  uint8_t mac[crypto_auth_hmacsha512_BYTES];
  crypto_auth_hmacsha512_final(&state, mac);
  return to_hex(mac, sizeof mac);
}

class HmacKernel : public ::testing::TestWithParam<const char*> {
 protected:
  void SetUp() override {
    if (!sha512_kernel_available(GetParam())) GTEST_SKIP() << GetParam() << " not available here";
  }
  // MACs of prefixes + suffix through the kernel under test, with a guard
  // area after the last digest.
  std::vector<std::string> macs(const HmacSha512& mac, const std::vector<std::string>& prefixes,
                                std::string_view suffix) {
    const std::vector<std::string_view> views(prefixes.begin(), prefixes.end());
    std::vector<uint8_t> out(64 * prefixes.size() + 64, 0xA5);
    EXPECT_TRUE(mac.batch_with(GetParam(), views.data(), views.size(), suffix, out.data()));
    for (size_t i = 64 * prefixes.size(); i < out.size(); ++i) EXPECT_EQ(out[i], 0xA5);
    std::vector<std::string> hex;
    for (size_t i = 0; i < prefixes.size(); ++i) hex.push_back(to_hex(out.data() + 64 * i, 64));
    return hex;
  }
};

// RFC 4231 test cases 1-4, 6 and 7 (case 5 truncates, which is not ours):
// keys shorter than, and longer than, a block; one-block and long messages.
TEST_P(HmacKernel, Rfc4231) {
  struct Case {
    std::string key, message;
    const char* mac;
  };
  const Case cases[] = {
      {std::string(20, '\x0b'), "Hi There",
       "87aa7cdea5ef619d4ff0b4241a1d6cb02379f4e2ce4ec2787ad0b30545e17cdedaa833b7d6b8a702038b274eaea3f4e4be9d914eeb61f1702e696c203a126854"},
      {"Jefe", "what do ya want for nothing?",
       "164b7a7bfcf819e2e395fbe73b56e0a387bd64222e831fd610270cd7ea2505549758bf75c05a994a6d034f65f8f0e6fdcaeab1a34d4a6b4b636e070a38bce737"},
      {std::string(20, '\xaa'), std::string(50, '\xdd'),
       "fa73b0089d56a284efb0f0756c890be9b1b5dbdd8ee81a3655f83e33b2279d39bf3e848279a722c806b485a47e67c807b946a337bee8942674278859e13292fb"},
      {"\x01\x02\x03\x04\x05\x06\x07\x08\x09\x0a\x0b\x0c\x0d\x0e\x0f\x10\x11\x12\x13\x14\x15\x16"
       "\x17\x18\x19",
       std::string(50, '\xcd'),
       "b0ba465637458c6990e5a8c5f61d4af7e576d97ff94b872de76f8050361ee3dba91ca5c11aa25eb4d679275cc5788063a5f19741120c4f2de2adebeb10a298dd"},
      {std::string(131, '\xaa'), "Test Using Larger Than Block-Size Key - Hash Key First",
       "80b24263c7c1a3ebb71493c1dd7be8b49b46d1f41b4aeec1121b013783f8f3526b56d037e05f2598bd0fd2215d6a1e5295e64f73f63f0aec8b915a985d786598"},
      {std::string(131, '\xaa'),
       "This is a test using a larger than block-size key and a larger than block-size data. The "
       "key needs to be hashed before being used by the HMAC algorithm.",
       "e37b6a775dc87dbaa4dfa9f96e5e3ffddebd71f8867289865df5a32d20cdc944b6022cac3c4982b10d5eeb55c3e4de15134676fb6de0446065c97440fa8c6a58"},
  };
  for (const auto& c : cases) {
    const HmacSha512 mac(c.key);
    // Nine copies fill whole vector groups and leave a remainder.
    for (const auto& got : macs(mac, std::vector<std::string>(9, c.message), {})) {
      ASSERT_EQ(got, c.mac) << c.message.size() << "-byte message";
    }
  }
}

// Random keys and messages of every length around the one-block limit and
// far beyond, mixed into batches of every remainder, against libsodium.
TEST_P(HmacKernel, MatchesLibsodiumOnMixedBatches) {
  std::mt19937 rng(20261208);
  for (size_t key_length : {size_t{16}, size_t{64}, size_t{128}, size_t{129}, size_t{1024}}) {
    std::string key(key_length, '\0');
    for (auto& ch : key) ch = static_cast<char>(rng());
    const HmacSha512 mac(key);
    for (size_t count : {size_t{1}, size_t{3}, size_t{8}, size_t{13}, size_t{130}, size_t{300}}) {
      for (size_t suffix_length : {size_t{0}, size_t{22}, size_t{111}}) {
        std::string suffix(suffix_length, '\0');
        for (auto& ch : suffix) ch = static_cast<char>(rng());
        std::vector<std::string> prefixes(count);
        for (auto& p : prefixes) {
          // Mostly one-block messages, some just over, some far longer.
          const size_t roll = rng() % 10;
          p.resize(roll < 7 ? rng() % 112 : roll < 9 ? 100 + rng() % 40 : 200 + rng() % 300);
          for (auto& ch : p) ch = static_cast<char>(rng());
        }
        const auto got = macs(mac, prefixes, suffix);
        for (size_t i = 0; i < count; ++i) {
          ASSERT_EQ(got[i], sodium_hmac_hex(key, prefixes[i] + suffix))
              << "key " << key_length << ", message " << i << " of " << count << " ("
              << prefixes[i].size() << " + " << suffix_length << " bytes)";
        }
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(AllKernels, HmacKernel, ::testing::ValuesIn(kSha512Kernels),
                         [](const auto& info) { return std::string(info.param); });

std::string bytes_of(size_t n, uint8_t first, uint8_t step) {
  std::string s(n, '\0');
  for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>(first + step * i);
  return s;
}

// Expected values printed by tests/core/print_expected.py.
TEST(KeyDerivation, HkdfAgreesWithPythonHmac) {
  struct Case {
    std::string material;
    const char *prk, *fingerprint_key, *id;
  };
  const Case cases[] = {
      {bytes_of(32, 0, 1),
       "2b200c52f110f6b7594445d2a8a4421190a9a0e923b57280aad673c216015963ca56dedfecb9306463c54bfcaf745a0065b714a65decd7af7a53e1df9396e5ee",
       "10a2b4c4f85532505438935c3a9beb4eb129fdb3f5644cecfc8beed6dc300b75b57052c370bd7b9b6809c040ef0f57f13b53423ed09ed263746064d7eea2cd95",
       "9e2e5239f5f042e6"},
      {"0123456789abcdef",
       "4b0dbe705c0298965fefadfa5fc42743a4eb1232ac0d5c511e5a545083ff5319071660ea6b6d46d1ce54e196afb9d00f4c66ccb4193db729d22fe5e68afff637",
       "3dacd207b2c818de7787e199f1d04194ea849f2ba1c52435b4f04b66224abdbd290b7083dce2abb96e370033cce7fea24da3e01d66dca2ecea9ac6f50e51114d",
       "3d019672bce97671"},
      {std::string(1024, '\xa5'),
       "0d82243570539318cf0c3e615e5366710a79ffe7d5e8c6fe96487d7ae0662036cc184e790eed09aacade64aeee4fd7607a097bc170359f63241d66157d38ec06",
       "bdc0e5a58dc4575321a9d35abc6fd650a6c537e413053b4dec38a2a994c500f8b436eb0024c20b2cf2bc111c06072708a4e1b48f42cad5c82e6478aa5872270e",
       "9530c23f2f01cb6c"},
  };
  for (const auto& c : cases) {
    uint8_t prk[64], k[64], id[8];
    korvi::core::hkdf_extract(korvi::core::kKeyDerivationSalt, c.material, prk);
    EXPECT_EQ(to_hex(prk, 64), c.prk);
    korvi::core::hkdf_expand(prk, korvi::core::kFingerprintKeyInfo, k, sizeof k);
    EXPECT_EQ(to_hex(k, 64), c.fingerprint_key);
    korvi::core::hkdf_expand(prk, korvi::core::kKeyIdInfo, id, sizeof id);
    EXPECT_EQ(to_hex(id, 8), c.id);
    const std::unique_ptr<korvi_key, void (*)(korvi_key*)> key(korvi::core::new_key(c.material),
                                                              korvi::core::delete_key);
    ASSERT_NE(key, nullptr);
    EXPECT_STREQ(key->id, c.id);
  }
}

TEST(KeyDerivation, MaterialLengthsOutsideSixteenTo1024AreRefused) {
  for (size_t n : {size_t{0}, size_t{1}, size_t{15}, size_t{1025}, size_t{4096}}) {
    EXPECT_EQ(korvi::core::new_key(std::string(n, 'k')), nullptr) << n;
  }
  for (size_t n : {size_t{16}, size_t{1024}}) {
    korvi_key* key = korvi::core::new_key(std::string(n, 'k'));
    EXPECT_NE(key, nullptr) << n;
    korvi::core::delete_key(key);
  }
}

// Keyed fingerprints of windows, tiles and whole texts, from
// tests/reference/korvi_reference.py (hmac) with the test key 0x00..0x1f.
TEST(KeyedFingerprints, WindowsAndWholeTextsAgreeWithPythonHmac) {
  const std::unique_ptr<korvi_key, void (*)(korvi_key*)> key(
      korvi::core::new_key(bytes_of(32, 0, 1)), korvi::core::delete_key);
  char hex[65];
  korvi::core::hash_hex("", false, hex, key.get());
  EXPECT_STREQ(hex, "3cee1b5f0d64c43c1673d02920fa54b116aeb7a23376dcc1dae0be0cab6797fe");
  korvi::core::hash_hex(std::string(90, 'x'), false, hex, key.get());  // past one block
  EXPECT_STREQ(hex, "ec236cb63fe82af234dc781d8ac585a0ba4643653467bc3bd1823be944c83d83");
  korvi::core::hash_hex(std::string(300, 'x'), true, hex, key.get());
  EXPECT_STREQ(hex, "b862ef2d22220397");
  // "JOHN SMITH JR" is padded to two windows; keyed and public sets differ.
  korvi::core::Fingerprints keyed(false, key.get()), plain(false);
  ASSERT_EQ(korvi::core::fingerprint_cleaned("JOHN SMITH JR", 0, keyed), STATUS_OK);
  ASSERT_EQ(korvi::core::fingerprint_cleaned("JOHN SMITH JR", 0, plain), STATUS_OK);
  ASSERT_EQ(keyed.size(), 2u);
  EXPECT_EQ(keyed.hex(0), "99422f4081b567ff0fe2723e1aa09937f813e4e2e56c1f576bb7d8ae2cc10f59");
  EXPECT_EQ(keyed.hex(1), "ad5fe89a030b537779abb7bbc4e01d14fa219169636f1187aa40a6a76611f272");
  EXPECT_NE(keyed.hex(0), plain.hex(0));
}

}  // namespace
