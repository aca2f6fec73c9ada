// korvi_fingerprint_many(): many texts in one call, each answered as
// fingerprint() with FINGERPRINT_RAW answers it alone.
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "korvi/korvi.h"
#include "owners.h"

namespace {

using korvi::testing::take_text;

// hashlib: sha512(b" JOHN SMITH JR" + salt) and sha512(b"JOHN SMITH JR " + salt),
// sorted (tests/reference/korvi_reference.py).
const std::string kJohn = "07e965b4d1d8a439aa0e91c036052b8a96f0307e8ae5371f1ecdd32745209faa"
                          "cb0ca6abc12be5b4ff0b57aeaae79b359460ae4e82fdcba081c99c05ec1e0a84";

struct KeyDeleter {
  void operator()(korvi_key* key) const noexcept { korvi_key_free(key); }
};
using KeyPtr = std::unique_ptr<korvi_key, KeyDeleter>;

// What fingerprint() (or fingerprint_keyed()) answers for one text with
// FINGERPRINT_RAW: the digits, or minus the status of a refusal.
struct Alone {
  int32_t status;
  std::string digits;
};

Alone alone(const korvi_key* key, const char* text, uint32_t flags) {
  FingerprintResult* result = key == nullptr
                                  ? fingerprint(text, CLEAN_TEXT, flags | FINGERPRINT_RAW)
                                  : fingerprint_keyed(key, text, CLEAN_TEXT, flags | FINGERPRINT_RAW);
  EXPECT_NE(result, nullptr);
  if (result == nullptr) return {-1, ""};
  Alone answer{result->status, result->status == STATUS_OK ? result->text : ""};
  free_result(result);
  return answer;
}

// Texts that reach every branch: accepted, too short, ill-formed, NULL, a
// text of several hundred windows (more than one hashing batch) before a
// short one, non-ASCII, padded.
std::vector<const char*> mixed_texts(const std::string& long_text) {
  return {"john smith jr", "", "a perfectly long text \xC3", nullptr, long_text.c_str(),
          "john smith jr", "Zoë Ångström-Øster", "twelve chars"};
}

std::string long_text() {
  std::string text;
  for (int i = 0; i < 40; ++i) text += "Grüße aus Köln " + std::to_string(i) + " ";
  return text;
}

void expect_same_as_alone(const korvi_key* key, bool keyed, const std::vector<const char*>& texts,
                          uint32_t flags) {
  std::vector<int64_t> counts(texts.size(), 12345);
  const auto many = take_text(keyed ? korvi_fingerprint_many_keyed(key, texts.data(), texts.size(),
                                                                   CLEAN_TEXT, flags, counts.data())
                                    : korvi_fingerprint_many(texts.data(), texts.size(),
                                                             CLEAN_TEXT, flags, counts.data()));
  ASSERT_TRUE(many.has_value());
  const size_t width = (flags & FINGERPRINT_SHORT) != 0 ? 16 : 64;
  std::string expected;
  for (size_t i = 0; i < texts.size(); ++i) {
    const Alone one = alone(key, texts[i], flags);
    SCOPED_TRACE(testing::Message() << "text " << i << ", flags " << flags);
    if (one.status != STATUS_OK) {
      EXPECT_EQ(counts[i], -one.status);
    } else {
      EXPECT_EQ(counts[i], static_cast<int64_t>(one.digits.size() / width));
      expected += one.digits;
    }
  }
  EXPECT_EQ(*many, expected);
}

TEST(FingerprintMany, EachTextAsFingerprintAnswersItAlone) {
  const std::string text = long_text();
  const auto texts = mixed_texts(text);
  for (uint32_t flags : {0u, FINGERPRINT_SHORT, FINGERPRINT_TILED,
                         FINGERPRINT_TILED | FINGERPRINT_SHORT}) {
    expect_same_as_alone(nullptr, false, texts, flags);
  }
  // The statuses and the hand-checked digits, independently of fingerprint().
  std::vector<int64_t> counts(texts.size());
  const auto many =
      take_text(korvi_fingerprint_many(texts.data(), texts.size(), CLEAN_TEXT, 0, counts.data()));
  ASSERT_TRUE(many.has_value());
  EXPECT_EQ(counts[0], 2);
  EXPECT_EQ(counts[1], -STATUS_TOO_SHORT);
  EXPECT_EQ(counts[2], -STATUS_BAD_UTF8);
  EXPECT_EQ(counts[3], -STATUS_BAD_UTF8);
  EXPECT_EQ(many->substr(0, kJohn.size()), kJohn);
  // The second "john smith jr" comes after 600-odd windows of the long
  // text: the buffers reused from it add nothing of theirs.
  EXPECT_EQ(counts[5], 2);
  const size_t fifth = 64 * static_cast<size_t>(counts[0] + counts[4]);
  EXPECT_EQ(many->substr(fifth, kJohn.size()), kJohn);
}

// Hundreds of short texts, whose windows are hashed several texts to a
// batch: texts too short, padded, of 14 code points, longer, not ASCII,
// and 256 bytes or just over (those are fingerprinted alone).
TEST(FingerprintMany, ShortTextsHashedTogetherAsEachAlone) {
  std::vector<std::string> owned;
  for (int i = 0; i < 400; ++i) {
    std::string text = "Name " + std::to_string(i) + (i % 3 == 0 ? " Müller" : " Smith");
    text.resize(static_cast<size_t>(5 + (i * 7) % 60), 'x');
    owned.push_back(text);
  }
  owned.push_back(std::string(256, 'q'));
  owned.push_back(std::string(257, 'q'));
  owned.push_back("Zoë Ångström");
  std::vector<const char*> texts;
  for (const std::string& text : owned) texts.push_back(text.c_str());
  const std::string material(32, 'k');
  KeyPtr key(korvi_key_new(reinterpret_cast<const unsigned char*>(material.data()),
                           material.size()));
  ASSERT_NE(key, nullptr);
  for (uint32_t flags : {0u, FINGERPRINT_TILED | FINGERPRINT_SHORT}) {
    expect_same_as_alone(nullptr, false, texts, flags);
    expect_same_as_alone(key.get(), true, texts, flags);
  }
}

TEST(FingerprintMany, ReadsOnlyTheTiledAndShortFlags) {
  const char* texts[] = {"a OR b and more words", "\"john smith jr\""};
  int64_t plain[2], other[2];
  const auto expected = take_text(korvi_fingerprint_many(texts, 2, CLEAN_TEXT, 0, plain));
  const auto answer = take_text(korvi_fingerprint_many(
      texts, 2, CLEAN_TEXT, FINGERPRINT_BOOLEAN | FINGERPRINT_PARSE_ONLY | FINGERPRINT_RAW, other));
  ASSERT_TRUE(expected.has_value() && answer.has_value());
  EXPECT_EQ(*answer, *expected);
  EXPECT_EQ(other[0], plain[0]);
  EXPECT_EQ(other[1], plain[1]);
  EXPECT_GT(plain[0], 0);
}

TEST(FingerprintMany, EmptyBatchesAndMissingArrays) {
  int64_t count = 0;
  EXPECT_EQ(take_text(korvi_fingerprint_many(nullptr, 0, CLEAN_TEXT, 0, nullptr)), "");
  const char* text = "john smith jr";
  EXPECT_EQ(korvi_fingerprint_many(nullptr, 1, CLEAN_TEXT, 0, &count), nullptr);
  EXPECT_EQ(korvi_fingerprint_many(&text, 1, CLEAN_TEXT, 0, nullptr), nullptr);
  EXPECT_EQ(korvi_fingerprint_many_keyed(nullptr, nullptr, 1, CLEAN_TEXT, 0, &count), nullptr);
}

TEST(FingerprintMany, KeyedAsFingerprintKeyedAndNeverWithoutTheKey) {
  const std::string material(32, 'k');
  KeyPtr key(korvi_key_new(reinterpret_cast<const unsigned char*>(material.data()),
                           material.size()));
  ASSERT_NE(key, nullptr);
  const std::string text = long_text();
  const auto texts = mixed_texts(text);
  for (uint32_t flags : {0u, FINGERPRINT_TILED | FINGERPRINT_SHORT}) {
    expect_same_as_alone(key.get(), true, texts, flags);
  }
  // Keyed digits differ from the public salt's.
  int64_t count = 0;
  const char* john = "john smith jr";
  const auto keyed =
      take_text(korvi_fingerprint_many_keyed(key.get(), &john, 1, CLEAN_TEXT, 0, &count));
  ASSERT_TRUE(keyed.has_value());
  EXPECT_EQ(count, 2);
  EXPECT_NE(*keyed, kJohn);
  // A NULL key refuses every text, as a NULL text is refused.
  std::vector<int64_t> counts(texts.size(), 0);
  EXPECT_EQ(take_text(korvi_fingerprint_many_keyed(nullptr, texts.data(), texts.size(),
                                                    CLEAN_TEXT, 0, counts.data())),
            "");
  for (int64_t c : counts) EXPECT_EQ(c, -STATUS_BAD_UTF8);
}

}  // namespace
