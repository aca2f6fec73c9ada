// Found by fuzzing json_decode: a number just above a power of ten wrote as
// 16 digits that read back as its neighbour below, which wrote differently,
// so decoding and encoding again changed the text. Expected texts are
// Python's "%.16g" and "%.17g" of float(text).
#include <gtest/gtest.h>

#include <limits>
#include <string>

#include "json/json_test_util.h"

namespace korvi::json::testing {
namespace {

TEST(JsonNumbers, NumbersAbovePowersOfTenReencodeUnchanged) {
  const struct {
    const char* text;
    const char* written;
  } cases[] = {
      {"100000000000000000003230", "1.0000000000000001e+23"},  // the fuzzer's input
      {"100000000000000016777216", "1.0000000000000003e+23"},
      {"1e23", "9.999999999999999e+22"},  // reads as the neighbour below: 16 digits do
      {"1.7976931348623157e308", "1.7976931348623157e+308"},  // 16 digits would read as infinity
      {"0.30000000000000004", "0.3"},   // 16 digits that read back elsewhere but write the same
      {"1e22", "1e+22"},
      {"123456789012345678", "1.234567890123457e+17"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    const auto first = reencode(c.text);
    ASSERT_TRUE(first);
    EXPECT_EQ(*first, c.written);
    EXPECT_EQ(reencode(*first), first);
  }
}

TEST(JsonNumbers, LargestDoubleSurvivesAWriteAndARead) {
  Tree node(json_mknumber(std::numeric_limits<double>::max()));
  const auto text = encode(node.get());
  ASSERT_TRUE(text);
  Tree back(json_decode(text->c_str()));
  ASSERT_TRUE(back);
  EXPECT_EQ(back->number_, std::numeric_limits<double>::max());
}

}  // namespace
}  // namespace korvi::json::testing
