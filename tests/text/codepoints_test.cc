// Code-point strings: decoding, encoding, length, copy, mapping pass.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "korvi/pipeline.h"
#include "korvi/text.h"
#include "owners.h"

namespace {

using Codepoints = korvi::testing::Freed<int32_t>;
using korvi::testing::Text;

std::vector<int32_t> values(const int32_t* cps) {
  std::vector<int32_t> v;
  for (; *cps != 0; ++cps) v.push_back(*cps);
  return v;
}

TEST(Decode, AcceptsWellFormedText) {
  struct Case {
    std::string text;
    std::vector<int32_t> expected;
  } cases[] = {
      {"", {}},
      {"abc", {'a', 'b', 'c'}},
      {"\xC3\xA9", {0xE9}},
      {"\xEF\xBF\xBF", {0xFFFF}},
      {"\xF0\x9F\x98\x80", {0x1F600}},
      {"\xF4\x8F\xBF\xBF", {0x10FFFF}},
      {"\xE0\xA0\x80", {0x800}},
      {"\xED\x9F\xBF", {0xD7FF}},
  };
  for (const auto& c : cases) {
    Codepoints cps(utf8_decode(c.text.c_str()));
    ASSERT_NE(cps, nullptr) << c.text;
    EXPECT_EQ(values(cps.get()), c.expected);
    EXPECT_EQ(unicode_length(cps.get()), c.expected.size());
  }
}

TEST(Decode, RefusesIllFormedSequences) {
  const char* bad[] = {
      "\xC3",              // truncated at the end
      "\xC3x",             // truncated by an ASCII byte
      "\xED\xA0\x80",      // encoded surrogate
      "\xC0\x80",          // overlong zero
      "\xC1\xBF",          // overlong two-byte form
      "\xE0\x9F\xBF",      // overlong three-byte form
      "\xF0\x8F\xBF\xBF",  // overlong four-byte form
      "\xF4\x90\x80\x80",  // beyond U+10FFFF
      "\xF5\x80\x80\x80",  // lead byte that never starts a sequence
      "\xFF",
      "\x80",              // stray continuation byte
      "ok\xE2\x82",        // truncated three-byte form
  };
  for (const char* text : bad) EXPECT_EQ(utf8_decode(text), nullptr) << text;
  EXPECT_EQ(utf8_decode(nullptr), nullptr);
}

TEST(Encode, RoundTripsValidTextByteForByte) {
  const std::string samples[] = {"", "plain ASCII", "\xC3\xA9t\xC3\xA9",
                                 "\xF0\x9F\x98\x80 \xE4\xB8\xAD \xF4\x8F\xBF\xBF"};
  for (const auto& s : samples) {
    Codepoints cps(utf8_decode(s.c_str()));
    ASSERT_NE(cps, nullptr);
    Text back(utf8_encode(cps.get()));
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(std::string(back.get()), s);
  }
}

TEST(Encode, SkipsValuesOutsideUnicode) {
  const int32_t cps[] = {'a', -5, 0x110000, 'b', 0};
  Text text(utf8_encode(cps));
  EXPECT_STREQ(text.get(), "ab");
}

TEST(Encode, LongTextsGrowWithoutLoss) {
  std::vector<int32_t> cps(100000, 0x4E2D);
  cps.push_back(0);
  Text text(utf8_encode(cps.data()));
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(std::string(text.get()).size(), 300000u);
}

int32_t drop_all(int32_t, void*) { return 0; }
int32_t identity(int32_t cp, void*) { return cp; }
int32_t drop_every_second(int32_t cp, void* user) {
  int& counter = *static_cast<int*>(user);
  return (counter++ % 2 == 1) ? 0 : cp;
}

TEST(Mutate, MapsInPlaceAndDeletesZeros) {
  Codepoints cps(utf8_decode("abcdef"));
  unicode_mutate(cps.get(), identity, nullptr);
  EXPECT_EQ(values(cps.get()), (std::vector<int32_t>{'a', 'b', 'c', 'd', 'e', 'f'}));
  int counter = 0;
  unicode_mutate(cps.get(), drop_every_second, &counter);
  EXPECT_EQ(values(cps.get()), (std::vector<int32_t>{'a', 'c', 'e'}));
  unicode_mutate(cps.get(), drop_all, nullptr);
  EXPECT_EQ(unicode_length(cps.get()), 0u);
}

TEST(Duplicate, CopiesExactlyUpToTheTerminator) {
  Codepoints cps(utf8_decode("x\xC3\xA9y"));
  Codepoints copy(unicode_duplicate(cps.get()));
  ASSERT_NE(copy, nullptr);
  EXPECT_NE(copy.get(), cps.get());
  EXPECT_EQ(values(copy.get()), values(cps.get()));
  EXPECT_EQ(unicode_duplicate(nullptr), nullptr);
}

TEST(Collapse, RunsOfSpaceSeparatorsBecomeOneSpace) {
  const int32_t input[] = {' ', 0xA0, 0x3000, 'a', 0x2028, ' ', ' ', 'b', ' ', 0};
  Codepoints out(unicode_collapse_whitespace(input));
  // U+2028 is a line separator (Zl), not a space separator.
  EXPECT_EQ(values(out.get()), (std::vector<int32_t>{' ', 'a', 0x2028, ' ', 'b', ' '}));
  EXPECT_EQ(input[1], 0xA0) << "input must be left untouched";
}

}  // namespace
