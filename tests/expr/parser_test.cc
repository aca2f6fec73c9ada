// Expression texts to trees, through the boolean road with
// FINGERPRINT_PARSE_ONLY and through boolean_parse.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "core/envelope.h"
#include "expr/boolean_road.h"
#include "expr/capture.h"
#include "expr/expression.h"
#include "korvi/common.h"
#include "korvi/expr.h"
#include "korvi/json.h"

namespace korvi::expr {
namespace {

constexpr uint32_t kParseOnly = FINGERPRINT_BOOLEAN | FINGERPRINT_PARSE_ONLY;
constexpr std::string_view kParseError = R"({"success":false,"error":"Expression parse error"})";

std::string encode(const JsonNode* node) {
  char* text = json_encode(node);
  std::string out = text != nullptr ? text : "<null>";
  std::free(text);
  return out;
}

// The "data" of the parse-only envelope, or the whole envelope on failure.
std::string parsed(std::string_view text) {
  std::string envelope;
  boolean_road(text, CLEAN_TEXT, kParseOnly, envelope);
  const std::string_view prefix = core::kSuccessPrefix;
  if (envelope.starts_with(prefix) && envelope.ends_with('}')) {
    return envelope.substr(prefix.size(), envelope.size() - prefix.size() - 1);
  }
  return envelope;
}

// The compact text of boolean_parse's tree, or "<null>".
std::string parsed_tree(const std::string& text) {
  JsonNode* tree = boolean_parse(text.c_str());
  std::string out = encode(tree);
  json_delete(tree);
  return out;
}

std::string nested(size_t parentheses, std::string_view opening = "(") {
  std::string text;
  for (size_t i = 0; i < parentheses; ++i) text += opening;
  text += 'a';
  text.append(parentheses, ')');
  return text;
}

struct TreeCase {
  const char* text;
  const char* tree;
};

TEST(Parser, BuildsTheOperatorTree) {
  const TreeCase cases[] = {
      {"a", R"("a")"},
      {"((a))", R"("a")"},
      {"\"\"", R"("")"},
      {"a OR b", R"({"operator":"OR","operands":["a","b"]})"},
      {"a b c", R"({"operator":"AND","operands":[{"operator":"AND","operands":["a","b"]},"c"]})"},
      {"a AND b AND c",
       R"({"operator":"AND","operands":[{"operator":"AND","operands":["a","b"]},"c"]})"},
      {"a OR b AND c",
       R"({"operator":"AND","operands":[{"operator":"OR","operands":["a","b"]},"c"]})"},
      {"a OR b c", R"({"operator":"AND","operands":[{"operator":"OR","operands":["a","b"]},"c"]})"},
      {"a AND (b OR c)",
       R"({"operator":"AND","operands":["a",{"operator":"OR","operands":["b","c"]}]})"},
      {"a - b - c",
       R"({"operator":"AND_NOT","operands":[{"operator":"AND_NOT","operands":["a","b"]},"c"]})"},
      {"a -b", R"({"operator":"AND","operands":["a","-b"]})"},
      {"a - b", R"({"operator":"AND_NOT","operands":["a","b"]})"},
      {"a (b) c", R"({"operator":"AND","operands":[{"operator":"AND","operands":["a","b"]},"c"]})"},
      {"a AND(b)", R"({"operator":"AND","operands":["a","b"]})"},
      {"(a b) (c d)", R"({"operator":"AND","operands":[{"operator":"AND","operands":["a","b"]},)"
                      R"({"operator":"AND","operands":["c","d"]}]})"},
      {"RED OR (GREEN - PEARS)",
       R"({"operator":"OR","operands":["RED",{"operator":"AND_NOT","operands":["GREEN","PEARS"]}]})"},
      {"a or b aNd c",
       R"({"operator":"AND","operands":[{"operator":"OR","operands":["a","b"]},"c"]})"},
      {"ANDY", R"("ANDY")"},
      {"NOT a", R"({"operator":"AND","operands":["NOT","a"]})"},
      {"\"x y\" \"AND\"", R"({"operator":"AND","operands":["x y","AND"]})"},
      {"\"abc", R"("abc")"},
      {"\"a\\\"b\"", R"({"operator":"AND","operands":["a\\","b"]})"},
      {"a&b", R"({"operator":"AND","operands":["a","b"]})"},
      {"a\r\nb", R"({"operator":"AND","operands":["a\r","b"]})"},
      {"caf\xC3\xA9", "\"caf\xC3\xA9\""},
      // Operands are bytes; the JSON writer replaces what is not UTF-8.
      {"a\xFF", "\"a\xEF\xBF\xBD\""},
  };
  for (const TreeCase& c : cases) {
    EXPECT_EQ(parsed(c.text), c.tree) << c.text;
    EXPECT_EQ(parsed_tree(c.text), c.tree) << c.text;
  }
}

TEST(Parser, RefusesMalformedExpressionsSilently) {
  const char* const texts[] = {
      "",    "   \t\n",   "!&'",        "\"",     "OR a",   "- a",     "AND a", "a OR",
      "a -", "a AND - b", "a OR AND b", "()",     "a ()",   "(a",      "((a)",  "a ) b",
      ")",   "a)",        "(a OR)",     "(OR a)", "(a) OR", "a OR ()",
  };
  std::vector<std::string> envelopes;
  std::vector<bool> trees;
  korvi::testing::CapturedStreams streams;
  for (const char* text : texts) {
    // Every flag that may accompany FINGERPRINT_BOOLEAN.
    for (uint32_t extra = 0; extra < 16; ++extra) {
      const uint32_t flags = FINGERPRINT_BOOLEAN | extra << 1;
      std::string envelope = "left over";
      const int32_t status = boolean_road(text, CLEAN_TEXT, flags, envelope);
      envelopes.push_back(std::to_string(status) + " " + envelope);
    }
    JsonNode* tree = boolean_parse(text);
    trees.push_back(tree != nullptr);
    json_delete(tree);
  }
  EXPECT_EQ(streams.finish(), "");
  for (size_t i = 0; i < envelopes.size(); ++i) {
    EXPECT_EQ(envelopes[i], "3 " + std::string(kParseError))
        << texts[i / 16] << " flags " << i % 16;
  }
  for (size_t i = 0; i < trees.size(); ++i) EXPECT_FALSE(trees[i]) << texts[i];
}

TEST(Parser, NullTextHasNoTree) { EXPECT_EQ(boolean_parse(nullptr), nullptr); }

// n levels of prefix + "(" around the operand a: the tree, written out.
std::string nested_tree(size_t n, std::string_view op) {
  std::string tree;
  for (size_t i = 0; i < n; ++i)
    tree += R"({"operator":")" + std::string(op) + R"(","operands":["x",)";
  tree += R"("a")";
  for (size_t i = 0; i < n; ++i) tree += "]}";
  return tree;
}

TEST(Parser, NestsUpToTheStackLimit) {
  // Parentheses alone: the start, one entry per "(", the operand and the
  // first ")" must stay below 10000 entries.
  EXPECT_EQ(parsed(nested(9996)), R"("a")");
  EXPECT_EQ(parsed_tree(nested(9996)), R"("a")");
  EXPECT_EQ(parsed(nested(9997)), kParseError);
  EXPECT_EQ(parsed_tree(nested(9997)), "<null>");
  // A waiting left operand adds one entry per level, and an operator one
  // more; these trees nest to the right as deep as the stack allows.
  EXPECT_EQ(parsed(nested(4998, "x (")), nested_tree(4998, "AND"));
  EXPECT_EQ(parsed_tree(nested(4998, "x (")), nested_tree(4998, "AND"));
  EXPECT_EQ(parsed(nested(4999, "x (")), kParseError);
  EXPECT_EQ(parsed(nested(3332, "x OR (")), nested_tree(3332, "OR"));
  EXPECT_EQ(parsed_tree(nested(3332, "x OR (")), nested_tree(3332, "OR"));
  EXPECT_EQ(parsed(nested(3333, "x OR (")), kParseError);
  EXPECT_EQ(parsed(nested(3333, "x - (")), kParseError);
  // Unclosed parentheses fail however deep.
  EXPECT_EQ(parsed(std::string(20000, '(') + "a"), kParseError);
}

std::string chain(size_t operands) {
  std::string text;
  for (size_t i = 0; i < operands; ++i) text += "a ";
  return text;
}

constexpr std::string_view kAndOpening = R"({"operator":"AND","operands":[)";

// The tree of n operands a side by side, which nests n - 1 levels deep on
// its left side.
void expect_chain_tree(const std::string& tree, size_t n) {
  EXPECT_EQ(tree.size(), (n - 1) * (kAndOpening.size() + std::string_view(R"(,"a"]})").size()) + 3);
  EXPECT_TRUE(tree.starts_with(std::string(kAndOpening) + std::string(kAndOpening)));
  EXPECT_EQ(tree.substr((n - 1) * kAndOpening.size(), 13), R"("a","a"]},"a")");
  EXPECT_TRUE(tree.ends_with(R"(,"a"]},"a"]},"a"]})"));
}

TEST(Parser, LongChainsNeedNoDepth) {
  // Operands side by side reduce as they go, so any number of them parse.
  constexpr size_t kOperands = 1000000;
  const std::string text = chain(kOperands);
  const std::optional<Expression> expression = parse_expression(text);
  ASSERT_TRUE(expression.has_value());
  EXPECT_EQ(expression->nodes.size(), 2 * kOperands - 1);
  expect_chain_tree(parsed(text), kOperands);
}

TEST(Parser, DeepTreesAreBuiltAndWalkedWithoutRecursion) {
  // Deep enough to overflow the call stack of any recursive walk.
  constexpr size_t kOperands = 300000;
  const std::string text = chain(kOperands);
  JsonNode* root = boolean_parse(text.c_str());
  ASSERT_NE(root, nullptr);
  const std::string tree = encode(root);
  expect_chain_tree(tree, kOperands);
  // Operands too short to fingerprint become empty arrays.
  FingerprintResult result{STATUS_OK, nullptr};
  shingle_boolean_parse_result(root, CLEAN_TEXT, 0, &result);
  EXPECT_EQ(result.status, STATUS_BAD_UTF8);
  const std::string walked = encode(root);
  EXPECT_EQ(walked.size(), tree.size() - kOperands);
  EXPECT_TRUE(walked.ends_with(R"(,[]]},[]]})"));
  json_delete(root);
}

}  // namespace
}  // namespace korvi::expr
