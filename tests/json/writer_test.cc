// Compact and indented text: escaping, numbers, replacement of ill-formed
// UTF-8, layout, and independence from the process locale.
#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdio>
#include <limits>
#include <string>

#include "json/json_test_util.h"
#include "json/literal.h"

namespace korvi::json::testing {
namespace {

std::optional<std::string> literal(const std::string& text) {
  return take(json_encode_string(text.c_str()));
}

// The string value and the key of {"<text>":"<text>"} must both be written
// as the literal json_encode_string gives, and so must the literals other
// modules append to their own text (after what is already there).
void expect_literal(const std::string& text, const std::string& expected) {
  EXPECT_EQ(literal(text), expected);
  std::string appended = "[";
  append_string_literal(text, appended);
  EXPECT_EQ(appended, "[" + expected);
  Tree object(json_mkobject());
  json_append_member(object.get(), text.c_str(), json_mkstring(text.c_str()));
  EXPECT_EQ(encode(object.get()), "{" + expected + ":" + expected + "}");
}

// A literal ends where a C string would.
TEST(JsonWriter, AppendedLiteralEndsAtZeroByte) {
  std::string out;
  append_string_literal(std::string("ab\0\"cd", 5), out);
  append_string_literal(std::string("\xC3\0\xA9", 3), out);
  EXPECT_EQ(out, "\"ab\"\"\xEF\xBF\xBD\"");
}

TEST(JsonWriter, EveryControlByteIsEscaped) {
  for (int c = 1; c < 0x20; ++c) {
    std::string expected;
    switch (c) {
      case 0x08: expected = "\\b"; break;
      case 0x09: expected = "\\t"; break;
      case 0x0A: expected = "\\n"; break;
      case 0x0C: expected = "\\f"; break;
      case 0x0D: expected = "\\r"; break;
      default: {
        char escape[8];
        std::snprintf(escape, sizeof escape, "\\u%04X", c);
        expected = escape;
      }
    }
    SCOPED_TRACE(c);
    expect_literal(std::string(1, static_cast<char>(c)), "\"" + expected + "\"");
  }
}

TEST(JsonWriter, StringLiterals) {
  struct Case {
    const char* text;
    const char* expected;
  } cases[] = {
      {"", R"("")"},
      {"\t\"\xC3\xA9", "\"\\t\\\"\xC3\xA9\""},  // tab, quotation mark, U+00E9 raw
      {"\x1F", R"("\u001F")"},
      {"\x01", R"("\u0001")"},
      {"\x1B", R"("\u001B")"},
      {"a/b", R"("a/b")"},
      {"\x7F", "\"\x7F\""},
      {"back\\slash", R"("back\\slash")"},
      {"\xF0\x9F\x98\x80 \xE2\x82\xAC \xEF\xBF\xBF \xF4\x8F\xBF\xBF",  // 4-, 3-byte and last
                                                                       // scalars
       "\"\xF0\x9F\x98\x80 \xE2\x82\xAC \xEF\xBF\xBF \xF4\x8F\xBF\xBF\""},
      {"line\r\nnext\x0B", R"("line\r\nnext\u000B")"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    expect_literal(c.text, c.expected);
  }
}

// Each maximal ill-formed subpart becomes one U+FFFD (EF BF BD).
TEST(JsonWriter, IllFormedUtf8BecomesReplacementCharacters) {
  const std::string r = "\xEF\xBF\xBD";
  struct Case {
    std::string text;
    std::string expected;
  } cases[] = {
      // The worked example for maximal subparts in the Unicode Standard.
      {"\x61\xF1\x80\x80\xE1\x80\xC2\x62\x80\x63\x80\xBF\x64",
       "a" + r + r + r + "b" + r + "c" + r + r + "d"},
      {"\xC0\x80", r + r},                  // overlong zero
      {"\xC1\xBF", r + r},                  // overlong
      {"\xE0\x80\x80", r + r + r},          // overlong three-byte
      {"\xED\xA0\x80", r + r + r},          // encoded surrogate
      {"\xF4\x90\x80\x80", r + r + r + r},  // above U+10FFFF
      {"\xF5\x80", r + r},
      {"\xFF", r},
      {"x\xE2\x82", "x" + r},          // truncated at the end
      {"\xF0\x9F\x98 ok", r + " ok"},  // truncated before ASCII
      {"\xE2\x82\xE2\x82\xAC", r + "\xE2\x82\xAC"},
      {"\x80\x80", r + r},  // stray continuation bytes
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.text));
    expect_literal(c.text, "\"" + c.expected + "\"");
    auto written = literal(c.text);
    ASSERT_TRUE(written);
    EXPECT_TRUE(json_validate(written->c_str()));
  }
}

TEST(JsonWriter, Numbers) {
  struct Case {
    double value;
    const char* expected;
  } cases[] = {
      {1, "1"},
      {0.1, "0.1"},
      {1.0 / 3, "0.3333333333333333"},
      {1e21, "1e+21"},
      {1e-7, "1e-07"},
      {-0.0, "-0"},
      {0, "0"},
      {-2.5, "-2.5"},
      {100, "100"},
      {1e15, "1000000000000000"},
      {1e16, "1e+16"},
      {123456789012345678.0, "1.234567890123457e+17"},
      {0.0001, "0.0001"},
      {1e-5, "1e-05"},
      {0.30000000000000004, "0.3"},
      {5e-324, "4.940656458412465e-324"},
      {1e300 * 10, "1e+301"},
      {std::numeric_limits<double>::quiet_NaN(), "null"},
      {-std::numeric_limits<double>::quiet_NaN(), "null"},
      {std::numeric_limits<double>::infinity(), "null"},
      {-std::numeric_limits<double>::infinity(), "null"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.expected);
    Tree number(json_mknumber(c.value));
    EXPECT_EQ(encode(number.get()), c.expected);
    Tree array(json_mkarray());
    json_append_element(array.get(), json_mknumber(c.value));
    EXPECT_EQ(encode(array.get()), std::string("[") + c.expected + "]");
  }
}

TEST(JsonWriter, ScalarsAndInvalidTags) {
  Tree array(json_mkarray());
  json_append_element(array.get(), json_mknull());
  json_append_element(array.get(), json_mkbool(true));
  json_append_element(array.get(), json_mkbool(false));
  JsonNode* broken = json_mknull();
  json_append_element(array.get(), broken);
  set_raw_tag(broken, 6);
  EXPECT_EQ(encode(array.get()), "[null,true,false,null]");
  set_raw_tag(broken, 0xFFFFFFFFu);
  EXPECT_EQ(encode(array.get()), "[null,true,false,null]");
  set_raw_tag(broken, JSON_NULL);  // so that deleting it stays sound
}

Tree seven_line_example() {
  Tree root(json_mkobject());
  JsonNode* a = json_mkarray();
  json_append_element(a, json_mknumber(1));
  json_append_element(a, json_mknumber(2));
  json_append_member(root.get(), "a", a);
  json_append_member(root.get(), "b", json_mkobject());
  return root;
}

TEST(JsonWriter, IndentedLayout) {
  Tree root = seven_line_example();
  EXPECT_EQ(take(json_stringify(root.get(), "  ")),
            "{\n"
            "  \"a\": [\n"
            "    1,\n"
            "    2\n"
            "  ],\n"
            "  \"b\": {}\n"
            "}");
  EXPECT_EQ(take(json_stringify(root.get(), "")), "{\n\"a\": [\n1,\n2\n],\n\"b\": {}\n}");
  EXPECT_EQ(take(json_stringify(root.get(), "\t")),
            "{\n\t\"a\": [\n\t\t1,\n\t\t2\n\t],\n\t\"b\": {}\n}");
  EXPECT_EQ(take(json_stringify(root.get(), nullptr)), R"({"a":[1,2],"b":{}})");
  EXPECT_EQ(take(json_stringify(root.get(), nullptr)), encode(root.get()));

  // Scalars and empty containers alone: no newline at all.
  Tree empty(json_mkarray());
  Tree text(json_mkstring("a\nb"));
  EXPECT_EQ(take(json_stringify(empty.get(), "  ")), "[]");
  EXPECT_EQ(take(json_stringify(text.get(), "  ")), R"("a\nb")");

  // Indented text reads back as the same tree.
  auto indented = take(json_stringify(root.get(), " \t"));
  ASSERT_TRUE(indented);
  EXPECT_EQ(reencode(*indented), encode(root.get()));
}

// Restores the locale a test switched to.
class LocaleGuard {
 public:
  LocaleGuard() : saved_(std::setlocale(LC_ALL, nullptr)) {}
  ~LocaleGuard() { std::setlocale(LC_ALL, saved_.c_str()); }

 private:
  std::string saved_;
};

TEST(JsonWriter, NumbersIgnoreTheProcessLocale) {
  LocaleGuard guard;
  if (std::setlocale(LC_ALL, "de_DE.UTF-8") == nullptr) {
    GTEST_SKIP() << "locale de_DE.UTF-8 is not installed";
  }
  char local[32];
  std::snprintf(local, sizeof local, "%.1f", 0.5);
  ASSERT_STREQ(local, "0,5");  // the locale really writes a decimal comma

  Tree array(json_mkarray());
  json_append_element(array.get(), json_mknumber(0.5));
  json_append_element(array.get(), json_mknumber(-1234.25e10));
  json_append_element(array.get(), json_mknumber(1e-7));
  EXPECT_EQ(encode(array.get()), "[0.5,-12342500000000,1e-07]");
  EXPECT_EQ(take(json_stringify(array.get(), " ")), "[\n 0.5,\n -12342500000000,\n 1e-07\n]");

  Tree decoded(json_decode("[0.5, 2.25e-3, -1E2]"));
  ASSERT_TRUE(decoded);
  EXPECT_EQ(json_find_element(decoded.get(), 0)->number_, 0.5);
  EXPECT_EQ(json_find_element(decoded.get(), 1)->number_, 0.00225);
  EXPECT_EQ(json_find_element(decoded.get(), 2)->number_, -100);
  EXPECT_FALSE(json_validate("0,5"));
}

TEST(JsonWriter, MillionDeepTextOfBothKinds) {
  constexpr size_t kDepth = 1'000'000;
  std::string text = std::string(kDepth, '[') + std::string(kDepth, ']');
  Tree root(json_decode(text.c_str()));
  ASSERT_TRUE(root);
  EXPECT_EQ(encode(root.get()), text);
  // With an empty space string every level opens its own line.
  std::string indented;
  for (size_t i = 1; i < kDepth; ++i) indented += "[\n";
  indented += "[]";
  for (size_t i = 1; i < kDepth; ++i) indented += "\n]";
  EXPECT_EQ(take(json_stringify(root.get(), "")), indented);
}

}  // namespace
}  // namespace korvi::json::testing
