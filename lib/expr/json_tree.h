// Expression trees as JSON: an operand is a string node, an operator the
// object {"operator":"AND"|"OR"|"AND_NOT","operands":[left,right]}.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "expr/expression.h"
#include "korvi/json.h"

namespace korvi::expr {

// A new operator object over left and right, which it takes over; nullptr
// (with left and right deleted) when memory runs out.
JsonNode* make_operator(const char* name, JsonNode* left, JsonNode* right) noexcept;

// The JSON tree of an expression, or nullptr when memory runs out.
JsonNode* to_json_tree(const Expression& expression);

// Appends the compact JSON text of the expression's tree to out, each
// operand written by write_operand(text, out), which returns false to stop
// the writing; returns false when it did.
template <class WriteOperand>
bool append_json_text(const Expression& expression, std::string& out, WriteOperand&& write_operand);

// Replaces every string operand under node (node included), in place, by
// the array of its fingerprints. Arrays are walked element by element and
// objects through their "operands" member only, so operator names are never
// touched. An operand without fingerprints (bad UTF-8, too short, or met
// after an earlier failure) leaves its array empty and sets status to
// STATUS_BAD_UTF8.
void fingerprint_operands(JsonNode* node, int clean_mode, uint32_t flags, int32_t& status);

// Turns one string node into the array of its text's fingerprints, keeping
// its place among its siblings; any other node is left alone.
void fingerprint_operand(JsonNode* node, int clean_mode, uint32_t flags, int32_t& status);

// ---------------------------------------------------------------------------

template <class WriteOperand>
bool append_json_text(const Expression& expression, std::string& out,
                      WriteOperand&& write_operand) {
  // Work items: a node to write, or (tagged) the right operand of an
  // operator, written after a comma and followed by the closing brackets.
  // The walk goes down left operands first, so a chain of n operators needs
  // n pending right operands at most and never the call stack.
  constexpr size_t kRightTag = size_t{1} << (sizeof(size_t) * 8 - 1);
  constexpr size_t kClose = ~size_t{0};
  std::vector<size_t> work{expression.root()};
  while (!work.empty()) {
    size_t item = work.back();
    work.pop_back();
    if (item == kClose) {
      out += "]}";
      continue;
    }
    if ((item & kRightTag) != 0) {
      item &= ~kRightTag;
      out += ',';
      work.push_back(kClose);
    }
    const Node& node = expression.nodes[item];
    if (node.op() == Op::kOperand) {
      if (!write_operand(expression.operand_text(node), out)) return false;
      continue;
    }
    out += "{\"operator\":\"";
    out += operator_name(node.op());
    out += "\",\"operands\":[";
    work.push_back(expression.right_of(item) | kRightTag);
    work.push_back(node.left());
  }
  return true;
}

}  // namespace korvi::expr
