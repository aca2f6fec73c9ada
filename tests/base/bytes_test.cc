// The byte primitives every module reads and writes text and digests with.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <new>
#include <stdexcept>
#include <string>

#include "base/boundary.h"
#include "base/endian.h"
#include "base/utf8.h"

namespace {

using korvi::base::decode_utf8;
using korvi::base::encode_utf8;

const unsigned char* bytes(const std::string& text) {
  return reinterpret_cast<const unsigned char*>(text.c_str());
}

// Every scalar value survives encoding and decoding, with the length the
// encoding form gives it; the whole sequence is needed to decode it.
TEST(Utf8, EveryScalarValueRoundTrips) {
  for (uint32_t cp = 0; cp <= 0x10FFFF; ++cp) {
    if (cp >= 0xD800 && cp <= 0xDFFF) continue;
    char out[4];
    const size_t length = encode_utf8(cp, out);
    const size_t expected = cp < 0x80 ? 1 : cp < 0x800 ? 2 : cp < 0x10000 ? 3 : 4;
    ASSERT_EQ(length, expected) << std::hex << cp;
    const auto* s = reinterpret_cast<const unsigned char*>(out);
    const auto decoded = decode_utf8(s, length);
    ASSERT_TRUE(decoded.valid) << std::hex << cp;
    ASSERT_EQ(decoded.length, static_cast<int>(length));
    ASSERT_EQ(decoded.codepoint, static_cast<int32_t>(cp));
    ASSERT_EQ(korvi::base::sequence_length(s[0]), length);
    if (length > 1) {
      ASSERT_FALSE(decode_utf8(s, length - 1).valid) << std::hex << cp;
    }
  }
}

TEST(Utf8, EncodesSurrogatesButNothingBeyondTheLastCodePoint) {
  char out[4];
  ASSERT_EQ(encode_utf8(0xD800, out), 3u);
  EXPECT_EQ(std::string(out, 3), "\xED\xA0\x80");
  EXPECT_FALSE(decode_utf8(reinterpret_cast<const unsigned char*>(out), 3).valid);
  EXPECT_EQ(encode_utf8(0x110000, out), 0u);
  EXPECT_EQ(encode_utf8(static_cast<uint32_t>(-1), out), 0u);
}

// A sequence cut short by the end of the span is ill-formed even when the
// bytes beyond it would complete it, and reports the subpart it had.
TEST(Utf8, ReadsNoFurtherThanTheSpan) {
  const std::string euro = "\xE2\x82\xAC";
  EXPECT_TRUE(decode_utf8(bytes(euro), 3).valid);
  const auto cut = decode_utf8(bytes(euro), 2);
  EXPECT_FALSE(cut.valid);
  EXPECT_EQ(cut.length, 2);
  EXPECT_EQ(decode_utf8(bytes(euro), 1).length, 1);
  // Zero-terminated: the terminator ends the sequence.
  const auto at_end = decode_utf8(bytes("\xF0\x9F\x98"), korvi::base::kUntilZero);
  EXPECT_FALSE(at_end.valid);
  EXPECT_EQ(at_end.length, 3);
}

TEST(Utf8, CountsUpToTheFirstIllFormedSequence) {
  EXPECT_EQ(korvi::base::count_codepoints(""), 0u);
  EXPECT_EQ(korvi::base::count_codepoints("a\xC3\xA9\xF0\x9F\x98\x80z"), 4u);
  EXPECT_EQ(korvi::base::count_codepoints("ab\xC0\x80xyz"), 2u);
  EXPECT_EQ(korvi::base::count_codepoints(std::string("a\0b", 3)), 3u);
  EXPECT_TRUE(korvi::base::is_valid_utf8(std::string("a\0\xC3\xA9", 4)));
  EXPECT_FALSE(korvi::base::is_valid_utf8("ab\xED\xA0\x80"));
}

TEST(Endian, MostSignificantByteFirst) {
  const uint8_t digest[8] = {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF};
  EXPECT_EQ(korvi::base::load_be64(digest), 0x0123456789ABCDEFull);
  uint8_t out[8];
  korvi::base::store_be64(0xFEDCBA9876543210ull, out);
  const uint8_t expected[8] = {0xFE, 0xDC, 0xBA, 0x98, 0x76, 0x54, 0x32, 0x10};
  EXPECT_EQ(std::string(out, out + 8), std::string(expected, expected + 8));
  EXPECT_EQ(korvi::base::byteswap64(0x0123456789ABCDEFull), 0xEFCDAB8967452301ull);
}

TEST(Boundary, CopiesTextAndStopsExceptions) {
  char* copy = korvi::base::to_c_string(std::string("a\0b", 3));
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(std::string(copy, 4), std::string("a\0b\0", 4));
  std::free(copy);
  EXPECT_EQ(korvi::base::guarded([]() -> int { throw std::bad_alloc(); }, -1), -1);
  EXPECT_EQ(korvi::base::guarded([] { return 7; }, -1), 7);
  bool ran = false;
  korvi::base::guarded_void([&] {
    ran = true;
    throw std::runtime_error("stopped at the boundary");
  });
  EXPECT_TRUE(ran);
}

}  // namespace
