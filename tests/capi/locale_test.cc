// Through the shared library, under a locale that writes decimal commas:
// numbers are read and written as JSON has them, and no answer changes.
#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "korvi/korvi.h"

namespace {

std::string take(char* text) {
  EXPECT_NE(text, nullptr);
  std::string copy = text != nullptr ? text : "";
  std::free(text);
  return copy;
}

std::string encode_decoded(const char* text) {
  JsonNode* tree = json_decode(text);
  EXPECT_NE(tree, nullptr) << text;
  std::string out = take(json_encode(tree));
  json_delete(tree);
  return out;
}

// Answers that hold no number of the process's making, taken in the C locale
// and compared under the other one.
std::string answers() {
  std::string out = take(js_fingerprint("john smith jr", CLEAN_TEXT, 0));
  out += take(js_fingerprint("\"john smith\" OR 12,5 - 3.75", CLEAN_CODE, FINGERPRINT_BOOLEAN));
  out += take(assets_from_address("person", "42", "1 N Main St"));
  return out;
}

class DecimalCommaLocale : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* current = std::setlocale(LC_ALL, nullptr);
    saved_ = current != nullptr ? current : "C";
    if (std::setlocale(LC_ALL, "de_DE.UTF-8") == nullptr)
      GTEST_SKIP() << "locale de_DE.UTF-8 missing (scripts/install-deps.sh generates it)";
    char probe[8];
    std::snprintf(probe, sizeof probe, "%.1f", 1.5);
    ASSERT_STREQ(probe, "1,5") << "the locale does not write decimal commas";
  }
  void TearDown() override { std::setlocale(LC_ALL, saved_.c_str()); }

  std::string saved_;
};

TEST_F(DecimalCommaLocale, JsonNumbersKeepTheirPoint) {
  EXPECT_EQ(encode_decoded("[1.5,-0.25,1e3,6.02214076E23,0.1]"), "[1.5,-0.25,1000,6.02214076e+23,0.1]");
  JsonNode* number = json_mknumber(2.5);
  EXPECT_EQ(take(json_encode(number)), "2.5");
  EXPECT_EQ(take(json_stringify(number, "  ")), "2.5");
  json_delete(number);
  EXPECT_TRUE(json_validate("3.25"));
  EXPECT_FALSE(json_validate("3,25"));
  EXPECT_EQ(json_decode("3,25"), nullptr);
}

TEST_F(DecimalCommaLocale, AnswersEqualThoseOfTheCLocale) {
  const std::string german = answers();
  std::setlocale(LC_ALL, "C");
  EXPECT_EQ(answers(), german);
}

}  // namespace
