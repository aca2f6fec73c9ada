// Fingerprints of one text: hashing, windows, padding, tiles, sort, unique.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "core/fingerprints.h"
#include "korvi/fingerprint.h"
#include "korvi/pipeline.h"
#include "owners.h"

namespace {

using CString = korvi::testing::Text;
using korvi::testing::Set;

std::vector<std::string> items(const ShingleSet* set) {
  std::vector<std::string> out;
  for (uint32_t i = 0; i < set->count; ++i) out.emplace_back(set->items[i]);
  return out;
}

// Expected values: tests/core/print_expected.py (hashlib).
struct WindowCase {
  const char* what;
  const char* cleaned;
  bool tiled;
  bool short_form;
  std::vector<std::string> expected;
};
const WindowCase kWindowCases[] = {
    {"thirteen code points are padded", "JOHN SMITH JR", false, false, {"07e965b4d1d8a439aa0e91c036052b8a96f0307e8ae5371f1ecdd32745209faa", "cb0ca6abc12be5b4ff0b57aeaae79b359460ae4e82fdcba081c99c05ec1e0a84"}},
    {"thirteen code points, short", "JOHN SMITH JR", false, true, {"07e965b4d1d8a439", "cb0ca6abc12be5b4"}},
    {"twelve code points give one window", "ABCDEFGHIJKL", false, false, {"12e5bfd08418157370149a6ae3368b7cafacd977c4b8b8f3f6e0bffc70ff6dc6"}},
    {"fourteen give one window", "ABCDEFGHIJKLMN", false, false, {"9f62db2e1eec5c89a56d139b7c71245a2734dbf7e3207cb848280a5504fc2046"}},
    {"multi-byte windows", "\U000000C0\U000000C9\U000000CE\U000000D5\U000000DC\U00010400\U00004E2D\U00006587KLMNOPQ", false, false, {"4170543123430aa1e993fe33257f5e9130f40ffb07a3693985979277b1615b93", "7bfde060462ecf6eb43c9146ea86343f0b2aa1e05b6d799b9bdb08d9ee1e7209"}},
    {"multi-byte tiles", "\U000000C0\U000000C9\U000000CE\U000000D5\U000000DC\U00010400\U00004E2D\U00006587KLMNOPQ", true, false, {"4170543123430aa1e993fe33257f5e9130f40ffb07a3693985979277b1615b93", "7bfde060462ecf6eb43c9146ea86343f0b2aa1e05b6d799b9bdb08d9ee1e7209"}},
    {"29 code points tiled short", "ABCDEFGHIJKLMNOPQRSTUVWXYZ012", true, true, {"60a71b42b3f3b8b7", "871b545c34d6bcf7", "9f62db2e1eec5c89"}},
    {"28 code points tiled", "ABCDEFGHIJKLMNOPQRSTUVWXYZ01", true, false, {"871b545c34d6bcf710cc9f6f719ec5c7598242fd1d9f901eb2d9650f8f9a7292", "9f62db2e1eec5c89a56d139b7c71245a2734dbf7e3207cb848280a5504fc2046"}},
};

struct ChunkCase {
  const char* text;
  const char* expected;
};
const ChunkCase kChunkCases[] = {
    {"", "980acfd6a63af303d005f29ac3c1622ad1367c65c28dbc7ee9e83a137c964083"},
    {"abc", "194db4a3078ab2cdbb97bdcef56ea4866bf1238fad67addc636e984e04132e10"},
    {"ABC", "c6b37ae690ef24a3ca71eed4ea58b67eb7dbfffc18347786eab4ca03f792e615"},
    {"abc ", "b4f1fea690c50c2c12149c845801e13ff8ef64882b526554ca56f9d0e90773be"},
};

TEST(FingerprintString, MatchesIndependentReference) {
  for (const auto& c : kWindowCases) {
    const uint32_t flags = (c.tiled ? FINGERPRINT_TILED : 0) | (c.short_form ? FINGERPRINT_SHORT : 0);
    FingerprintResult status{STATUS_OK, nullptr};
    Set set(fingerprint_string(c.cleaned, CLEAN_TEXT, flags, &status));
    ASSERT_NE(set, nullptr) << c.what;
    EXPECT_EQ(status.status, STATUS_OK);
    EXPECT_EQ(set->length, c.short_form ? 16u : 64u);
    EXPECT_EQ(items(set.get()), c.expected) << c.what;

    korvi::core::Fingerprints prints;
    ASSERT_EQ(korvi::core::fingerprint_text(c.cleaned, CLEAN_TEXT, flags, prints), STATUS_OK);
    std::vector<std::string> internal;
    for (size_t i = 0; i < prints.size(); ++i) internal.push_back(prints.hex(i));
    EXPECT_EQ(internal, c.expected) << c.what;
  }
}

TEST(FingerprintChunk, HashesBytesExactlyWithTheSalt) {
  for (const auto& c : kChunkCases) {
    CString full(fingerprint_chunk(c.text, 0));
    ASSERT_NE(full, nullptr);
    EXPECT_STREQ(full.get(), c.expected) << '"' << c.text << '"';
    // The short form is the first 16 digits; other flag bits change nothing.
    CString short_form(fingerprint_chunk(c.text, FINGERPRINT_SHORT | FINGERPRINT_TILED | 0xFFF0u));
    EXPECT_EQ(std::string(short_form.get()), std::string(c.expected, 16));
    CString other_bits(fingerprint_chunk(c.text, FINGERPRINT_BOOLEAN | FINGERPRINT_RAW));
    EXPECT_STREQ(other_bits.get(), c.expected);
  }
  EXPECT_EQ(fingerprint_chunk(nullptr, 0), nullptr);
  // Invalid UTF-8 is hashed like any other bytes.
  CString invalid(fingerprint_chunk("\xFF\xFE", 0));
  ASSERT_NE(invalid, nullptr);
  EXPECT_EQ(std::string(invalid.get()).find_first_not_of("0123456789abcdef"), std::string::npos);
}

TEST(FingerprintShingle, HashesTheGivenLengthOnly) {
  char out[65];
  fingerprint_shingle("abcXYZ", out, 3, 0);
  EXPECT_STREQ(out, kChunkCases[1].expected);  // "abc"
  char short_out[17];
  fingerprint_shingle("abc", short_out, 3, FINGERPRINT_SHORT);
  EXPECT_EQ(std::string(short_out), std::string(kChunkCases[1].expected, 16));
}

TEST(SprintHex, WritesLowerCaseHighNibbleFirst) {
  const uint8_t bytes[] = {0x00, 0x0f, 0xa0, 0xff};
  char out[9];
  EXPECT_EQ(sprint_hex(out, bytes, 4), 4u);
  EXPECT_STREQ(out, "000fa0ff");
  // NULL bytes: nothing to read, whatever the count says.
  EXPECT_EQ(sprint_hex(out, nullptr, 4), 0u);
  EXPECT_STREQ(out, "");
}

TEST(FingerprintString, LengthThresholdsAndWindowCounts) {
  struct Case {
    size_t codepoints;
    uint32_t sliding, tiles;  // 0: too short
  } cases[] = {{0, 0, 0},   {11, 0, 0},  {12, 1, 1},  {13, 2, 2},  {14, 1, 1},
               {15, 2, 2},  {28, 15, 2}, {29, 16, 3}, {42, 29, 3}, {43, 30, 4}};
  // Distinct characters (already clean) so no window repeats.
  std::vector<std::string> letters;
  for (char c : std::string("ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789")) letters.emplace_back(1, c);
  for (const char* greek : {"\u0391", "\u0392", "\u0393", "\u0394", "\u0395", "\u0396", "\u0397",
                            "\u0398", "\u0399", "\u039A"})
    letters.emplace_back(greek);
  for (const auto& c : cases) {
    std::string text;
    for (size_t i = 0; i < c.codepoints; ++i) text += letters.at(i);
    for (bool tiled : {false, true}) {
      FingerprintResult status{STATUS_OK, nullptr};
      Set set(fingerprint_string(text.c_str(), CLEAN_TEXT, tiled ? FINGERPRINT_TILED : 0, &status));
      const uint32_t expected = tiled ? c.tiles : c.sliding;
      if (expected == 0) {
        EXPECT_EQ(set, nullptr);
        EXPECT_EQ(status.status, STATUS_TOO_SHORT) << c.codepoints;
      } else {
        ASSERT_NE(set, nullptr) << c.codepoints;
        EXPECT_EQ(set->count, expected) << c.codepoints << (tiled ? " tiled" : " sliding");
      }
    }
  }
}

TEST(FingerprintString, RepeatedWindowsCollapseToOne) {
  const std::string thirty(30, 'a');
  Set set(fingerprint_string(thirty.c_str(), CLEAN_TEXT, 0, nullptr));
  ASSERT_NE(set, nullptr);
  EXPECT_EQ(set->count, 1u);
}

TEST(FingerprintString, StatusRules) {
  FingerprintResult bad{STATUS_OK, nullptr};
  EXPECT_EQ(fingerprint_string("valid text then \xC3", CLEAN_TEXT, 0, &bad), nullptr);
  EXPECT_EQ(bad.status, STATUS_BAD_UTF8);

  // Length is judged after cleaning: punctuation collapses away.
  FingerprintResult short_after_cleaning{STATUS_OK, nullptr};
  EXPECT_EQ(fingerprint_string("a!!!!!!!!!!!!!!!!!!!!b", CLEAN_TEXT, 0, &short_after_cleaning), nullptr);
  EXPECT_EQ(short_after_cleaning.status, STATUS_TOO_SHORT);

  // An earlier failure suppresses hashing and stays.
  FingerprintResult earlier{STATUS_BAD_UTF8, nullptr};
  EXPECT_EQ(fingerprint_string("a text long enough to hash", CLEAN_TEXT, 0, &earlier), nullptr);
  EXPECT_EQ(earlier.status, STATUS_BAD_UTF8);

  FingerprintResult null_text{STATUS_OK, nullptr};
  EXPECT_EQ(fingerprint_string(nullptr, CLEAN_TEXT, 0, &null_text), nullptr);
  EXPECT_EQ(null_text.status, STATUS_BAD_UTF8);
}

TEST(Codepoints, CountAndPrefixLengths) {
  EXPECT_EQ(utf8_codepoint_count(""), 0u);
  EXPECT_EQ(utf8_codepoint_count("a\xC3\xA9\xF0\x9F\x98\x80"), 3u);
  EXPECT_EQ(utf8_codepoint_count("ab\xFF" "cd"), 2u);  // stops at the invalid byte
  EXPECT_EQ(utf8_codepoint_count(nullptr), 0u);
  EXPECT_EQ(read_codepoints("a\xC3\xA9\xF0\x9F\x98\x80z", 3), 7);
  EXPECT_EQ(read_codepoints("a\xC3\xA9", 0), 0);
  EXPECT_EQ(read_codepoints("a\xFFz", 2), -1);
  EXPECT_EQ(read_codepoints("ab", 3), -1);
}

TEST(PadString, AppliesTheThresholds) {
  FingerprintResult status{STATUS_OK, nullptr};
  EXPECT_EQ(pad_string("ELEVEN CHAR", &status), nullptr);
  EXPECT_EQ(status.status, STATUS_TOO_SHORT);
  CString twelve(pad_string("TWELVE CHARS", nullptr));
  EXPECT_STREQ(twelve.get(), " TWELVE CHARS ");
  CString thirteen(pad_string("JOHN SMITH JR", nullptr));
  EXPECT_STREQ(thirteen.get(), " JOHN SMITH JR ");
  CString fourteen(pad_string("FOURTEEN CHARS", nullptr));
  EXPECT_STREQ(fourteen.get(), "FOURTEEN CHARS");
}

TEST(Cutting, DirectCallersMustGiveValidLongText) {
  EXPECT_EQ(shingled("too short", 0), nullptr);
  EXPECT_EQ(tiled("fourteen chars \xFF", 0), nullptr);
  EXPECT_EQ(shingled(nullptr, 0), nullptr);
  // Unsorted: one item per window in text order.
  Set set(shingled(" JOHN SMITH JR ", 0));
  ASSERT_NE(set, nullptr);
  ASSERT_EQ(set->count, 2u);
  CString first(fingerprint_chunk(" JOHN SMITH JR", 0));
  CString second(fingerprint_chunk("JOHN SMITH JR ", 0));
  EXPECT_STREQ(set->items[0], first.get());
  EXPECT_STREQ(set->items[1], second.get());
  Set tiles(tiled("ABCDEFGHIJKLMNOPQRSTUVWXYZ012", FINGERPRINT_SHORT));
  ASSERT_NE(tiles, nullptr);
  ASSERT_EQ(tiles->count, 3u);
  CString last(fingerprint_chunk("PQRSTUVWXYZ012", FINGERPRINT_SHORT));
  EXPECT_STREQ(tiles->items[2], last.get()) << "final tile is flush with the end";
}

}  // namespace

namespace {

// Long texts take the bucketed sort and the batched kernels; the result must
// equal hashing every window on its own (fingerprint_chunk, checked above
// against hashlib) and ordering them with std::set.
TEST(FingerprintString, LongTextsEqualWindowByWindowReference) {
  std::string text;
  for (int i = 0; text.size() < 6000; ++i) {
    // Repeats every 37 words, so many windows recur.
    text += "WORD" + std::to_string(i % 37) + (i % 5 == 0 ? "\xC3\x89 " : " ");
  }
  std::vector<size_t> starts;  // byte offset of every code point
  for (size_t i = 0; i < text.size(); ++i)
    if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) starts.push_back(i);
  starts.push_back(text.size());
  const size_t codepoints = starts.size() - 1;
  for (bool short_form : {false, true}) {
    const uint32_t flags = short_form ? FINGERPRINT_SHORT : 0;
    std::set<std::string> expected;
    for (size_t i = 0; i + 14 <= codepoints; ++i) {
      const std::string window = text.substr(starts[i], starts[i + 14] - starts[i]);
      CString hex(fingerprint_chunk(window.c_str(), flags));
      expected.insert(hex.get());
    }
    Set set(fingerprint_string(text.c_str(), CLEAN_TEXT, flags, nullptr));
    ASSERT_NE(set, nullptr);
    EXPECT_EQ(items(set.get()), std::vector<std::string>(expected.begin(), expected.end()));
    EXPECT_LT(set->count, codepoints - 13) << "repeated windows must collapse";
  }
}

}  // namespace
