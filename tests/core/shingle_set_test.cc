// Shingle sets: heap sort, de-duplication and the three output forms.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "korvi/fingerprint.h"
#include "korvi/json.h"
#include "korvi/pipeline.h"
#include "korvi/stringlist.h"
#include "owners.h"

namespace {

using korvi::testing::Set;

Set make_set(const std::vector<std::string>& values, uint32_t length) {
  Set set(new_shingles(static_cast<uint32_t>(values.size()), length));
  for (size_t i = 0; i < values.size(); ++i) std::strcpy(set->items[i], values[i].c_str());
  return set;
}

std::vector<std::string> items(const ShingleSet* set) {
  std::vector<std::string> out;
  for (uint32_t i = 0; i < set->count; ++i) out.emplace_back(set->items[i]);
  return out;
}

TEST(NewShingles, ItemsStartEmptyWithRoomForTheDigits) {
  Set set(new_shingles(3, 16));
  ASSERT_NE(set, nullptr);
  EXPECT_EQ(set->count, 3u);
  EXPECT_EQ(set->length, 16u);
  for (uint32_t i = 0; i < 3; ++i) {
    EXPECT_STREQ(set->items[i], "");
    std::memset(set->items[i], 'f', 16);  // the full width must be writable
  }
  Set empty(new_shingles(0, 64));
  ASSERT_NE(empty, nullptr);
  EXPECT_EQ(empty->count, 0u);
}

TEST(SortAndDedup, MatchesStandardSortOnRandomSets) {
  std::mt19937 rng(7);
  for (int round = 0; round < 200; ++round) {
    const size_t n = rng() % 40;
    std::vector<std::string> values;
    for (size_t i = 0; i < n; ++i) {
      char digits[17];
      std::snprintf(digits, sizeof digits, "%016llx",
                    static_cast<unsigned long long>(rng() % 12) * 0x0f0f0f0f0full);
      values.emplace_back(digits);
    }
    Set set = make_set(values, 16);
    sort_shingles(set.get());
    std::vector<std::string> sorted = values;
    std::sort(sorted.begin(), sorted.end());
    ASSERT_EQ(items(set.get()), sorted);
    dedup_shingles(set.get());
    sorted.erase(std::unique(sorted.begin(), sorted.end()), sorted.end());
    ASSERT_EQ(items(set.get()), sorted);
  }
}

TEST(SortAndDedup, EdgeCases) {
  Set one = make_set({"a0"}, 2);
  sort_shingles(one.get());
  dedup_shingles(one.get());
  EXPECT_EQ(items(one.get()), std::vector<std::string>{"a0"});

  Set equal = make_set({"77", "77", "77", "77"}, 2);
  sort_shingles(equal.get());
  dedup_shingles(equal.get());
  EXPECT_EQ(items(equal.get()), std::vector<std::string>{"77"});

  Set order = make_set({"a0", "0f", "a0", "09"}, 2);
  sort_shingles(order.get());
  dedup_shingles(order.get());
  EXPECT_EQ(items(order.get()), (std::vector<std::string>{"09", "0f", "a0"}));
}

TEST(OutputForms, RawJsonAndStringList) {
  const std::string a(64, '1'), b(64, '2'), c(64, 'c');
  Set set = make_set({a, b, c}, 64);

  char* raw = raw_encode(set.get());
  ASSERT_NE(raw, nullptr);
  EXPECT_EQ(std::string(raw), a + b + c);
  EXPECT_EQ(std::strlen(raw), 192u);
  std::free(raw);

  JsonNode* array = shingles_to_json(set.get());
  ASSERT_NE(array, nullptr);
  char* text = json_encode(array);
  EXPECT_EQ(std::string(text), "[\"" + a + "\",\"" + b + "\",\"" + c + "\"]");
  std::free(text);
  EXPECT_EQ(shingles_into_json(set.get(), array), 3u);
  EXPECT_EQ(json_find_element(array, 5)->string_, c);
  json_delete(array);

  StringList* list = shingles_to_array(set.get());
  ASSERT_NE(list, nullptr);
  ASSERT_EQ(utarray_len(list), 3u);
  EXPECT_EQ(std::string(*static_cast<char**>(utarray_eltptr(list, 2))), c);
  utarray_free(list);

  // The output forms are copies: they outlive the set.
  set.reset();
}

TEST(OutputForms, NullSetsAreAbsent) {
  EXPECT_EQ(raw_encode(nullptr), nullptr);
  EXPECT_EQ(shingles_to_json(nullptr), nullptr);
  EXPECT_EQ(shingles_to_array(nullptr), nullptr);
  free_shingles(nullptr);
  sort_shingles(nullptr);
  dedup_shingles(nullptr);
}

}  // namespace
