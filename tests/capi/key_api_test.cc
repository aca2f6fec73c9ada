// The key handle and the keyed exports at the C boundary: refusals, and
// keyed answers that keep the shapes of the public-salt ones. Keyed values
// themselves are pinned by tests/vectors (Python's hmac).
#include <gtest/gtest.h>

#include <cctype>
#include <cstdlib>
#include <memory>
#include <string>

#include "korvi/korvi.h"

namespace {

struct KeyDeleter {
  void operator()(korvi_key* key) const { korvi_key_free(key); }
};
using KeyPtr = std::unique_ptr<korvi_key, KeyDeleter>;

KeyPtr make_key(const std::string& material) {
  return KeyPtr(korvi_key_new(reinterpret_cast<const unsigned char*>(material.data()),
                              material.size()));
}

std::string take(char* text) {
  if (text == nullptr) return "(null)";
  std::string copy(text);
  korvi_free(text);
  return copy;
}

std::string take_result(FingerprintResult* result) {
  std::string out = std::to_string(result->status) + ":" + result->text;
  free_result(result);
  return out;
}

TEST(KeyApi, MaterialAndArgumentsOutOfRangeAreRefused) {
  EXPECT_EQ(korvi_key_new(nullptr, 32), nullptr);
  EXPECT_EQ(make_key(std::string(15, 'k')), nullptr);
  EXPECT_EQ(make_key(std::string(1025, 'k')), nullptr);
  EXPECT_NE(make_key(std::string(16, 'k')), nullptr);
  korvi_key_free(nullptr);

  char id[17] = "unchanged";
  EXPECT_FALSE(korvi_key_id(nullptr, id));
  EXPECT_STREQ(id, "");
  const KeyPtr key = make_key(std::string(32, 'k'));
  EXPECT_FALSE(korvi_key_id(key.get(), nullptr));
}

TEST(KeyApi, SameMaterialSameKeyOtherMaterialOtherKey) {
  const KeyPtr a = make_key("0123456789abcdef0123456789abcdef");
  const KeyPtr b = make_key("0123456789abcdef0123456789abcdef");
  const KeyPtr c = make_key("0123456789abcdef0123456789abcdeg");
  char id_a[17], id_b[17], id_c[17];
  ASSERT_TRUE(korvi_key_id(a.get(), id_a) && korvi_key_id(b.get(), id_b) &&
              korvi_key_id(c.get(), id_c));
  EXPECT_STREQ(id_a, id_b);
  EXPECT_STRNE(id_a, id_c);
  EXPECT_EQ(take(fingerprint_chunk_keyed(a.get(), "123456789", 0)),
            take(fingerprint_chunk_keyed(b.get(), "123456789", 0)));
  EXPECT_NE(take(fingerprint_chunk_keyed(a.get(), "123456789", 0)),
            take(fingerprint_chunk_keyed(c.get(), "123456789", 0)));
}

// Keyed answers have the public-salt answer's shape with other digits: each
// 16- or 64-digit run of hex differs, everything around it is the same.
std::string shape(const std::string& text) {
  std::string out;
  for (const char ch : text) out.push_back(std::isxdigit(static_cast<unsigned char>(ch)) ? 'h' : ch);
  return out;
}

TEST(KeyApi, KeyedAnswersKeepShapesAndChangeEveryFingerprint) {
  const KeyPtr key = make_key(std::string(32, '\x01'));
  for (uint32_t flags : {0u, FINGERPRINT_RAW, FINGERPRINT_TILED | FINGERPRINT_SHORT,
                         FINGERPRINT_BOOLEAN, FINGERPRINT_BOOLEAN | FINGERPRINT_PARSE_ONLY}) {
    const char* text = "\"John Smith Jr\" OR springfield_illinois_usa";
    const std::string plain = take_result(fingerprint(text, CLEAN_TEXT, flags));
    const std::string keyed = take_result(fingerprint_keyed(key.get(), text, CLEAN_TEXT, flags));
    EXPECT_EQ(shape(plain), shape(keyed)) << flags;
    if ((flags & FINGERPRINT_PARSE_ONLY) == 0) {
      EXPECT_NE(plain, keyed) << flags;
    }
  }
  const std::string plain = take(assets_from_ssn("p", "1", "123-45-6789"));
  const std::string keyed = take(assets_from_ssn_keyed(key.get(), "p", "1", "123-45-6789"));
  EXPECT_EQ(shape(plain), shape(keyed));
  EXPECT_NE(plain.substr(0, 35), keyed.substr(0, 35));
}

TEST(KeyApi, NullKeyNeverFallsBackToThePublicSalt) {
  EXPECT_EQ(take_result(fingerprint_keyed(nullptr, "John Smith Jr", CLEAN_TEXT, 0)),
            "2:{\"success\":false,\"error\":\"Failed utf8 conversion\"}");
  EXPECT_EQ(take(fingerprint_chunk_keyed(nullptr, "abc", 0)), "(null)");
  EXPECT_EQ(take(assets_from_name_keyed(nullptr, "p", "1", "Bob", nullptr, "Smith")), "[]");
  EXPECT_EQ(take(assets_from_email_address_keyed(nullptr, "p", "1", "a@b.example")), "[]");
  const KeyPtr key = make_key(std::string(32, 'k'));
  EXPECT_EQ(take(fingerprint_chunk_keyed(key.get(), nullptr, 0)), "(null)");
  EXPECT_EQ(take(assets_from_ssn_keyed(key.get(), "p", nullptr, "123")), "[]");
}

}  // namespace
