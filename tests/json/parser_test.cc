// Strict parsing: what is accepted and how it reads, what is rejected, and
// that validating agrees with decoding.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <limits>
#include <string>

#include "json/json_test_util.h"

namespace korvi::json::testing {
namespace {

// Decoding succeeds and the tree is written back as expected; validating agrees.
void expect_accepted(const std::string& text, const std::string& compact) {
  SCOPED_TRACE(::testing::PrintToString(text));
  EXPECT_TRUE(json_validate(text.c_str()));
  Tree tree(json_decode(text.c_str()));
  ASSERT_TRUE(tree);
  EXPECT_TRUE(json_check(tree.get(), nullptr));
  EXPECT_EQ(encode(tree.get()), compact);
}

TEST(JsonParser, AcceptsAndReadsBack) {
  struct Case {
    std::string text;
    std::string compact;
  } cases[] = {
      {"  [1, 2]  ", "[1,2]"},
      {"\t\r\n[ ]\n", "[]"},
      {"{ }", "{}"},
      {"1", "1"},
      {"-0", "-0"},
      {"\"x\"", "\"x\""},
      {"true", "true"},
      {"false", "false"},
      {"null", "null"},
      {R"({"b":1,"a":[true,null]})", R"({"b":1,"a":[true,null]})"},
      {R"({"k":1,"k":2})", R"({"k":1,"k":2})"},  // duplicates kept in order
      {R"({ "a" : { "b" : [ {} , [ ] ] } , "c":"" })", R"({"a":{"b":[{},[]]},"c":""})"},
      {R"("\u00e9")", "\"\xC3\xA9\""},
      {R"("\u00E9")", "\"\xC3\xA9\""},
      {R"("\uD83D\uDE00")", "\"\xF0\x9F\x98\x80\""},
      {R"("\udbff\udfff")", "\"\xF4\x8F\xBF\xBF\""},
      {R"("\u0001\u001f\u007F")", "\"\\u0001\\u001F\x7F\""},
      {R"("\"\\\/\b\f\n\r\t")", R"("\"\\/\b\f\n\r\t")"},
      {"\"\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80\x7F\"",
       "\"\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80\x7F\""},
      {"[1.5e3, -0.25, 10E-2, 1e+2, 0]", "[1500,-0.25,0.1,100,0]"},
      {"[1e400, -1e400]", "[null,null]"},            // beyond the double range: infinities
      {std::string("[1,2]\0garbage", 13), "[1,2]"},  // the text ends at its zero byte
  };
  for (const Case& c : cases) expect_accepted(c.text, c.compact);
}

TEST(JsonParser, Rejects) {
  const std::string rejected[] = {
      "",
      "   ",
      "[1, 2] x",
      "[1, 2],",
      "[1,]",
      R"({"a":1,})",
      "[,1]",
      "[1,,2]",
      "[1 2]",
      "[01]",
      "[-01]",
      "1.",
      ".5",
      "+1",
      "-",
      "1e",
      "1e+",
      "1.e5",
      "0x10",
      "Infinity",
      "NaN",
      "tru",
      "True",
      "nul",
      "falsey",
      "[1]]",
      "[[1]",
      R"({"a" 1})",
      R"({"a":1 "b":2})",
      "{a:1}",
      "{1:2}",
      R"({"a"})",
      R"({"a":})",
      R"({,"a":1})",
      "[\"abc]",
      "\"abc",
      R"("\uDE00")",
      R"("\uD83D")",
      R"("\uD83Dx")",
      R"("\uD83D\u0041")",
      R"("\uD83D\uD83D")",
      R"("\uDE00\uD83D")",
      R"("\u0000")",
      R"("a\u0000b")",
      R"("\U00e9")",
      R"("\u00g9")",
      R"("\u12")",
      R"("\x41")",
      R"("\a")",
      R"("\N")",
      "\"\\\"",
      "\"\t\"",
      "\"\n\"",
      "\"\x1F\"",
      "\"\xC0\x80\"",
      "\"\xED\xA0\x80\"",
      "\"\xF4\x90\x80\x80\"",
      "\"\xE2\x82\"",
      "\"\x80\"",
      "\"\xFF\"",
      "\xEF\xBB\xBF[]",  // byte-order mark
      "[\f]",            // form feed is not white space here
      "[\v]",
      "\xC2\xA0[]",  // no-break space
      "// comment\n[]",
      "[1] /* */",
      "'a'",
  };
  for (const std::string& text : rejected) {
    SCOPED_TRACE(::testing::PrintToString(text));
    EXPECT_FALSE(json_validate(text.c_str()));
    EXPECT_EQ(json_decode(text.c_str()), nullptr);
  }
}

double single_number(const char* text) {
  Tree tree(json_decode(text));
  EXPECT_TRUE(tree) << text;
  if (!tree) return std::numeric_limits<double>::quiet_NaN();
  EXPECT_EQ(tree->tag, JSON_NUMBER) << text;
  return tree->number_;
}

TEST(JsonParser, NumberValues) {
  EXPECT_EQ(single_number("0.1"), 0.1);
  EXPECT_EQ(single_number("-12.5e-1"), -1.25);
  EXPECT_EQ(single_number("1E2"), 100);
  EXPECT_EQ(single_number("123456789012345678901234567890"), 1.2345678901234568e29);
  EXPECT_EQ(single_number("0.30000000000000004"), 0.30000000000000004);
  EXPECT_TRUE(std::signbit(single_number("-0")));
  EXPECT_TRUE(std::signbit(single_number("-0.0e5")));
  // Out of range, as strtod answers: overflow to infinity, underflow to zero
  // or to the nearest subnormal.
  EXPECT_EQ(single_number("1e400"), std::numeric_limits<double>::infinity());
  EXPECT_EQ(single_number("-123.456e307"), -std::numeric_limits<double>::infinity());
  EXPECT_EQ(single_number("1e-400"), 0);
  EXPECT_FALSE(std::signbit(single_number("1e-400")));
  EXPECT_EQ(single_number("-0.0000001e-330"), 0);
  EXPECT_TRUE(std::signbit(single_number("-1e-400")));
  EXPECT_EQ(single_number("4e-320"), 0x0.0000000001fa0p-1022);
  EXPECT_EQ(single_number("5e-324"), std::numeric_limits<double>::denorm_min());
  EXPECT_EQ(single_number("1e99999999999999999999"), std::numeric_limits<double>::infinity());
  EXPECT_EQ(single_number("0.00000000000000000000001e99999999999999999999"),
            std::numeric_limits<double>::infinity());
  EXPECT_EQ(single_number("100000000000000000000000e-99999999999999999999"), 0);
  // The nearest double on every platform: bits as Python's float() reads the
  // text (32-bit x86's from_chars rounds this one twice and lands one below).
  EXPECT_EQ(std::bit_cast<uint64_t>(single_number("5.622488206432825e+31")), 5081798995909014115u);
}

TEST(JsonParser, TreeShape) {
  Tree root(json_decode(R"({"list":[1,"two",{"x":null}],"flag":false})"));
  ASSERT_TRUE(root);
  ASSERT_EQ(root->tag, JSON_OBJECT);
  EXPECT_EQ(root->parent, nullptr);
  EXPECT_EQ(root->key, nullptr);
  JsonNode* list = json_find_member(root.get(), "list");
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(list->parent, root.get());
  EXPECT_STREQ(list->key, "list");
  EXPECT_STREQ(json_find_element(list, 1)->string_, "two");
  EXPECT_EQ(json_find_element(list, 1)->key, nullptr);
  JsonNode* inner = json_find_element(list, 2);
  EXPECT_EQ(json_find_member(inner, "x")->tag, JSON_NULL);
  JsonNode* flag = json_find_member(root.get(), "flag");
  EXPECT_EQ(flag->tag, JSON_BOOL);
  EXPECT_FALSE(flag->bool_);
  EXPECT_EQ(root->tail, flag);
  EXPECT_EQ(flag->prev, list);
}

TEST(JsonParser, KeysAndStringsUnescapeAlike) {
  Tree root(json_decode(R"({"caf\u00e9\n":"caf\u00E9\n"})"));
  ASSERT_TRUE(root);
  EXPECT_STREQ(root->head->key, "caf\xC3\xA9\n");
  EXPECT_STREQ(root->head->string_, "caf\xC3\xA9\n");
}

// Long strings cross many buffer growths.
TEST(JsonParser, LongStringRoundTrip) {
  std::string body;
  for (int i = 0; i < 20000; ++i) body += (i % 7 == 0) ? "\\n\\u00e9" : "abc";
  Tree tree(json_decode(("\"" + body + "\"").c_str()));
  ASSERT_TRUE(tree);
  std::string expected;
  for (int i = 0; i < 20000; ++i) expected += (i % 7 == 0) ? "\n\xC3\xA9" : "abc";
  EXPECT_EQ(tree->string_, expected);
}

TEST(JsonParser, MillionDeepNesting) {
  constexpr size_t kDepth = 1'000'000;
  std::string arrays = std::string(kDepth, '[') + std::string(kDepth, ']');
  EXPECT_TRUE(json_validate(arrays.c_str()));
  Tree tree(json_decode(arrays.c_str()));
  ASSERT_TRUE(tree);
  EXPECT_TRUE(json_check(tree.get(), nullptr));
  EXPECT_EQ(encode(tree.get()), arrays);
  tree.reset();

  // Unclosed, and broken at the bottom: everything built so far is freed.
  std::string unclosed(kDepth, '[');
  EXPECT_FALSE(json_validate(unclosed.c_str()));
  EXPECT_EQ(json_decode(unclosed.c_str()), nullptr);
  std::string broken = std::string(kDepth, '[') + "1,]" + std::string(kDepth - 1, ']');
  EXPECT_EQ(json_decode(broken.c_str()), nullptr);

  std::string objects;
  for (size_t i = 0; i < kDepth; ++i) objects += "{\"a\":";
  objects += "\"x\"" + std::string(kDepth, '}');
  EXPECT_TRUE(json_validate(objects.c_str()));
  Tree nested(json_decode(objects.c_str()));
  ASSERT_TRUE(nested);
  EXPECT_EQ(encode(nested.get()), objects);
  objects.back() = ']';
  EXPECT_FALSE(json_validate(objects.c_str()));
  EXPECT_EQ(json_decode(objects.c_str()), nullptr);
}

}  // namespace
}  // namespace korvi::json::testing
