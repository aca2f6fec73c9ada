// Cleaning: upper-casing, filtering by mode, collapsing spaces.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "korvi/text.h"
#include "param_names.h"
#include "text/clean.h"

namespace {

std::string clean(const std::string& text, int mode) {
  char* out = clean_string(text.c_str(), mode);
  EXPECT_NE(out, nullptr) << "refused: " << text;
  std::string s = out != nullptr ? out : "";
  std::free(out);
  return s;
}

struct CleanCase {
  const char* what;
  std::string input;
  int mode;
  std::string expected;
};

class CleanTable : public testing::TestWithParam<CleanCase> {};

TEST_P(CleanTable, GivesExpectedText) {
  const CleanCase& c = GetParam();
  EXPECT_EQ(clean(c.input, c.mode), c.expected) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    WorkedExamples, CleanTable,
    testing::Values(
        CleanCase{"punctuation becomes spaces, runs collapse, ends keep one space",
                  "  o'Brien-Smith, Jr. ", CLEAN_TEXT, " O BRIEN SMITH JR "},
        CleanCase{"code keeps @ . - _ +", "jane.doe-x_y+tag@example.com", CLEAN_CODE,
                  "JANE.DOE-X_Y+TAG@EXAMPLE.COM"},
        CleanCase{"digits keeps only decimal digits", "(555) 123-4567", CLEAN_DIGITS, "5551234567"},
        CleanCase{"tab, line feed, U+2028, U+200B, U+00AD are spaces",
                  "A\tB\nC\u2028D\u200BE\u00ADF", CLEAN_TEXT, "A B C D E F"},
        CleanCase{"sharp s has no simple capital and stays", "stra\u00DFe", CLEAN_TEXT,
                  "STRA\u00DFE"},
        CleanCase{"fi ligature stays", "\uFB01", CLEAN_TEXT, "\uFB01"},
        CleanCase{"U+1F80 upper-cases to a title-case letter, rejected", "x\u1F80y", CLEAN_TEXT,
                  "X Y"},
        CleanCase{"U+01C5 and U+01C6 upper-case to U+01C4", "\u01C5\u01C6", CLEAN_TEXT,
                  "\u01C4\u01C4"},
        CleanCase{"combining ypogegrammeni upper-cases to capital iota, kept", "\u0345",
                  CLEAN_TEXT, "\u0399"},
        CleanCase{"modifier apostrophe kept, right quote rejected", "o\u02BCb\u2019c", CLEAN_TEXT,
                  "O\u02BCB C"},
        CleanCase{"no-break and ideographic spaces join the run as U+0020",
                  "a \u00A0\u3000-b", CLEAN_TEXT, "A B"},
        CleanCase{"precomposed letter kept, combining mark becomes a space",
                  "\u00E9|e\u0301", CLEAN_TEXT, "\u00C9 E "},
        CleanCase{"digits of other scripts are not converted", "\u0661-\uFF11 x", CLEAN_DIGITS,
                  "\u0661\uFF11"},
        CleanCase{"empty text stays empty (text)", "", CLEAN_TEXT, ""},
        CleanCase{"empty text stays empty (code)", "", CLEAN_CODE, ""},
        CleanCase{"empty text stays empty (digits)", "", CLEAN_DIGITS, ""},
        CleanCase{"punctuation only: one space in text mode", "!?.,;", CLEAN_TEXT, " "},
        CleanCase{"punctuation only: kept in code mode", "!?.,;", CLEAN_CODE, "!?.,;"},
        CleanCase{"punctuation only: nothing in digits mode", "!?.,;", CLEAN_DIGITS, ""},
        CleanCase{"single space stays (text)", " ", CLEAN_TEXT, " "},
        CleanCase{"single space stays (code)", " ", CLEAN_CODE, " "},
        CleanCase{"deleted characters do not split a digit run", "1 2\t3", CLEAN_DIGITS, "123"},
        CleanCase{"unknown modes clean as text (7)", "a.b", 7, "A B"},
        CleanCase{"unknown modes clean as text (-1)", "a.b", -1, "A B"},
        CleanCase{"code text re-cleaned as text shrinks", "A.-B@C", CLEAN_TEXT, "A B C"},
        CleanCase{"title-case letter rejected in code mode too", "\u1F88", CLEAN_CODE, " "},
        CleanCase{"four-byte letter kept", "\U00010400x", CLEAN_TEXT, "\U00010400X"},
        CleanCase{"unassigned code point becomes a space", "a\U000E0080b", CLEAN_TEXT, "A B"},
        CleanCase{"DEL is a control character", "a\x7F" "b", CLEAN_CODE, "A B"}),
    korvi_tests::NameFromWhat());

TEST(Clean, IsIdempotentInEveryMode) {
  const std::string samples[] = {"  o'Brien-Smith, Jr. ", "jane.doe@example.com",
                                 "(555) 123-4567", "Stra\u00DFe \u00E9\u0301 \u3000 x\u1F80"};
  for (int mode : {CLEAN_TEXT, CLEAN_CODE, CLEAN_DIGITS}) {
    for (const auto& s : samples) {
      const std::string once = clean(s, mode);
      EXPECT_EQ(clean(once, mode), once) << "mode " << mode << ": " << s;
    }
  }
}

TEST(Clean, RefusesInvalidUtf8AnywhereInEveryMode) {
  const std::string bad[] = {"abc\xC3", "\xED\xA0\x80" "abc", "a\xC0\x80", "\xF4\x90\x80\x80",
                             "ok \xFF ok", "\x80"};
  for (int mode : {CLEAN_TEXT, CLEAN_CODE, CLEAN_DIGITS}) {
    for (const auto& s : bad) {
      char* out = clean_string(s.c_str(), mode);
      EXPECT_EQ(out, nullptr) << "mode " << mode;
      std::free(out);
      EXPECT_EQ(utf8_clean(s.c_str(), mode), nullptr);
    }
  }
  EXPECT_EQ(clean_string(nullptr, CLEAN_TEXT), nullptr);
}

// The one-pass cleaner (with its ASCII shortcut) must agree with the
// code-point pipeline (duplicate, mutate, collapse) on every code point.
TEST(Clean, OnePassAgreesWithCodepointPipelineOnEveryCodepoint) {
  for (int mode : {CLEAN_TEXT, CLEAN_CODE, CLEAN_DIGITS}) {
    int mismatches = 0;
    for (int32_t cp = 1; cp <= 0x10FFFF && mismatches < 5; ++cp) {
      if (cp >= 0xD800 && cp <= 0xDFFF) continue;
      const int32_t input[] = {'a', cp, ' ', cp, 0};
      int32_t* cleaned = unicode_clean(input, mode);
      ASSERT_NE(cleaned, nullptr);
      char* expected = utf8_encode(cleaned);
      std::free(cleaned);
      std::string text;
      korvi::text::encode_one('a', text);
      korvi::text::encode_one(cp, text);
      text += ' ';
      korvi::text::encode_one(cp, text);
      const auto actual = korvi::text::clean(text, mode);
      ASSERT_TRUE(actual.has_value());
      if (*actual != expected) {
        ++mismatches;
        ADD_FAILURE() << "mode " << mode << " U+" << std::hex << cp;
      }
      std::free(expected);
    }
  }
}

TEST(Categories, ModesKeepTheirCategories) {
  struct Row {
    int32_t cp;
    bool text, code, digit;
  } rows[] = {
      {'A', true, true, false},     {'a', true, true, false},     {'7', true, true, true},
      {' ', true, true, false},     {'-', false, true, false},    {'+', false, true, false},
      {'\t', false, false, false},  {0x01C5, false, false, false} /* Lt */,
      {0x02B0, true, true, false} /* Lm */,  {0x05D0, true, true, false} /* Lo */,
      {0x2160, true, true, false} /* Nl */,  {0x00B2, true, true, false} /* No */,
      {0x0301, false, false, false} /* Mn */, {0x2028, false, false, false} /* Zl */,
      {0x2029, false, false, false} /* Zp */, {0x200B, false, false, false} /* Cf */,
      {0xE000, false, false, false} /* Co */, {0x0378, false, false, false} /* Cn */,
      {0x20AC, false, true, false} /* Sc */,  {0x0661, true, true, true} /* Nd */,
  };
  for (const Row& r : rows) {
    EXPECT_EQ(is_valid_text(r.cp), r.text) << std::hex << r.cp;
    EXPECT_EQ(is_valid_code(r.cp), r.code) << std::hex << r.cp;
    EXPECT_EQ(is_valid_digit(r.cp), r.digit) << std::hex << r.cp;
  }
}

TEST(Categories, FilterReplacesOrDeletesByMode) {
  EXPECT_EQ(filter_codepoint_by_mode('-', CLEAN_TEXT), ' ');
  EXPECT_EQ(filter_codepoint_by_mode('-', CLEAN_CODE), '-');
  EXPECT_EQ(filter_codepoint_by_mode('-', CLEAN_DIGITS), 0);
  EXPECT_EQ(filter_codepoint_by_mode('5', CLEAN_DIGITS), '5');
  EXPECT_EQ(filter_codepoint_by_mode('-', 42), ' ');
  // The category test is made on the upper-cased code point.
  EXPECT_EQ(filter_and_upcase('q', reinterpret_cast<void*>(CLEAN_TEXT)), 'Q');
  EXPECT_EQ(filter_and_upcase(0x1F80, reinterpret_cast<void*>(CLEAN_TEXT)), ' ');
  EXPECT_EQ(filter_and_upcase(0x01C6, reinterpret_cast<void*>(CLEAN_CODE)), 0x01C4);
  EXPECT_EQ(filter_and_upcase(0x00DF, reinterpret_cast<void*>(CLEAN_TEXT)), 0x00DF);
  EXPECT_EQ(filter_and_upcase('x', reinterpret_cast<void*>(CLEAN_DIGITS)), 0);
}

}  // namespace
