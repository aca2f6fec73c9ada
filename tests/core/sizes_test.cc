// Size arithmetic on input-driven lengths saturates instead of wrapping, and
// the answer sizes built on it are exact for real sets.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "core/fingerprints.h"
#include "core/sizes.h"

namespace {

using korvi::core::kSizeUnbounded;
using korvi::core::saturating_add;
using korvi::core::saturating_mul;

TEST(Sizes, SaturateWhereTheyWouldWrap) {
  const struct {
    size_t a, b, sum, product;
  } cases[] = {
      {0, 0, 0, 0},
      {3, 4, 7, 12},
      {kSizeUnbounded, 0, kSizeUnbounded, 0},
      {kSizeUnbounded - 1, 1, kSizeUnbounded, kSizeUnbounded - 1},
      {kSizeUnbounded - 1, 2, kSizeUnbounded, kSizeUnbounded},
      {kSizeUnbounded / 2, 2, kSizeUnbounded / 2 + 2, kSizeUnbounded - 1},
      {kSizeUnbounded / 2 + 1, 2, kSizeUnbounded / 2 + 1 + 2, kSizeUnbounded},
      // What wrapped on 32-bit hosts: 70 million windows of 67 bytes each.
      {70'000'000, 67, 70'000'067, uint64_t{70'000'000} * 67 > SIZE_MAX ? kSizeUnbounded : size_t{70'000'000} * 67},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(saturating_add(c.a, c.b), c.sum) << c.a << " + " << c.b;
    EXPECT_EQ(saturating_add(c.b, c.a), c.sum) << c.b << " + " << c.a;
    EXPECT_EQ(saturating_mul(c.a, c.b), c.product) << c.a << " * " << c.b;
    EXPECT_EQ(saturating_mul(c.b, c.a), c.product) << c.b << " * " << c.a;
  }
}

TEST(Sizes, AnswerLengthsAreExact) {
  // "[" + n quoted items with commas between + "]", by hand.
  for (const bool short_form : {false, true}) {
    korvi::core::Fingerprints prints(short_form);
    const size_t digits = short_form ? 16 : 64;
    EXPECT_EQ(prints.json_array_length(), 2u);
    EXPECT_EQ(prints.raw_length(), 0u);
    const char* windows[] = {"first window!!", "second window!", "third window!!"};
    for (size_t n = 1; n <= 3; ++n) {
      prints.add_window(windows[n - 1]);
      EXPECT_EQ(prints.json_array_length(), 2 + n * (digits + 2) + (n - 1));
      EXPECT_EQ(prints.raw_length(), n * digits);
      std::string json;
      prints.append_json_array(json);
      EXPECT_EQ(json.size(), prints.json_array_length());
    }
  }
}

}  // namespace
