// Long hostile addresses: every variant line is about as long as the address,
// so the lines' total size is capped, not only their number.
#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "variants/variants.h"

namespace {

using korvi::variants::join_product;
using Lines = std::vector<std::string>;
using List = std::vector<std::string_view>;

TEST(JoinProductBudget, StopsBeforeTheLineThatWouldPassTheBudget) {
  const List three[] = {{"A", "B"}, {"1"}, {"X", "Y", "Z"}};
  const struct {
    size_t byte_limit;
    Lines expected;
  } cases[] = {
      {30, {"A 1 X", "A 1 Y", "A 1 Z", "B 1 X", "B 1 Y", "B 1 Z"}},  // all 30 bytes fit exactly
      {29, {"A 1 X", "A 1 Y", "A 1 Z", "B 1 X", "B 1 Y"}},
      {11, {"A 1 X", "A 1 Y"}},
      {5, {"A 1 X"}},
      // The first line comes whatever its size, and nothing after it.
      {4, {"A 1 X"}},
      {0, {"A 1 X"}},
  };
  for (const auto& c : cases) EXPECT_EQ(join_product(three, 100, c.byte_limit), c.expected) << c.byte_limit;
  // The count cap still applies first.
  EXPECT_EQ(join_product(three, 2, 1000), (Lines{"A 1 X", "A 1 Y"}));
}

TEST(AddressVariants, LongAddressesStopAtTheVariantTextBudget) {
  // 3000 words ST, each of forms ST, STRT, STREET, STR, used to make the full
  // 10,000 lines of about 9,000 bytes each: 90 MB for a 9 kB input.
  constexpr size_t kWords = 3000;
  std::string address;
  for (size_t i = 0; i < kWords; ++i) address += i ? " ST" : "ST";
  const auto lines = korvi::variants::address_variants(address);
  ASSERT_TRUE(lines);

  // Line k counts k in base 4 over the words, the last word fastest; every
  // word not reached by k's digits stays ST (2 bytes), plus 2999 spaces.
  const size_t form_length[] = {2, 4, 6, 3};
  std::vector<size_t> expected_lengths;
  size_t total = 0;
  for (size_t k = 0;; ++k) {
    size_t length = (kWords - 1) + 2 * kWords;
    for (size_t rest = k; rest > 0; rest /= 4) length += form_length[rest % 4] - 2;
    if (total + length > korvi::variants::kMaxAddressVariantBytes) break;
    total += length;
    expected_lengths.push_back(length);
  }
  ASSERT_LT(expected_lengths.size(), korvi::variants::kMaxAddressVariants);
  ASSERT_EQ(lines->size(), expected_lengths.size());
  for (size_t k = 0; k < lines->size(); ++k) ASSERT_EQ((*lines)[k].size(), expected_lengths[k]) << k;
  EXPECT_EQ(lines->front(), address);
  EXPECT_EQ((*lines)[1], address.substr(0, address.size() - 2) + "STRT");
}

}  // namespace
