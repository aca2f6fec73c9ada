// Parsed boolean expressions. All operators bind equally and group from the
// left; two operands side by side mean AND.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace korvi::expr {

enum class Op : uint8_t { kOperand, kAnd, kOr, kAndNot };

// "AND", "OR" or "AND_NOT".
std::string_view operator_name(Op op) noexcept;

// One node in eight bytes, so that long expressions stay small: the kind,
// and for an operand the offset of its token in the text, for an operator
// the index of its left operand's node (the right operand's node is always
// the one just before the operator).
class Node {
 public:
  static Node operand(size_t token_offset) noexcept { return Node(Op::kOperand, token_offset); }
  static Node operation(Op op, size_t left) noexcept { return Node(op, left); }

  Op op() const noexcept { return static_cast<Op>(bits_ >> kValueBits); }
  size_t token_offset() const noexcept { return value(); }
  size_t left() const noexcept { return value(); }

 private:
  static constexpr int kValueBits = 62;
  Node(Op op, size_t value) noexcept
      : bits_(static_cast<uint64_t>(op) << kValueBits | static_cast<uint64_t>(value)) {}
  size_t value() const noexcept {
    return static_cast<size_t>(bits_ & ((uint64_t{1} << kValueBits) - 1));
  }

  uint64_t bits_;
};

// The nodes in postfix order: every operator follows both of its operands,
// operands stand in the order of the text, and the root is the last node.
struct Expression {
  std::string_view text;  // the parsed text, up to its end
  std::vector<Node> nodes;

  size_t root() const noexcept { return nodes.size() - 1; }
  size_t right_of(size_t i) const noexcept { return i - 1; }
  // An operand's bytes, quotes removed; they point into text.
  std::string_view operand_text(const Node& node) const noexcept;
};

// Entries of the parser's stack, counting one for the start; the parse
// fails when a push would fill the last. Each "(" not yet closed holds one
// entry and an operator waiting for its right operand two, so 9996
// parentheses nested around one operand still parse and 9997 do not.
inline constexpr size_t kParserStackLimit = 10000;

// The expression of text (which ends at its size or its first zero byte),
// or nothing when it does not parse or nests too deep. Operand texts point
// into text. Runs in time linear in the text; nothing recurses.
std::optional<Expression> parse_expression(std::string_view text);

}  // namespace korvi::expr
