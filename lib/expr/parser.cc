// A left-to-right parser with an explicit stack of open parentheses. It
// reduces as early as possible, so a chain of any length needs one frame,
// and it counts stack entries exactly as an LALR parser of the grammar
//   e: "(" e ")" | e e | e OR e | e AND e | e "-" e | STRING
// would, with every shift/reduce choice resolved towards reducing.
#include <limits>
#include <utility>

#include "expr/expression.h"
#include "expr/lexer.h"

namespace korvi::expr {
namespace {

constexpr size_t kNone = std::numeric_limits<size_t>::max();

// One level of parentheses (the outermost level has no "(").
struct Frame {
  size_t left = kNone;  // root of the expression so far, or kNone
  bool has_operator = false;
  Op pending = Op::kAnd;  // the operator waiting for its right operand
};

class Parser {
 public:
  explicit Parser(std::string_view text) : lexer_(text) {
    expression_.text = lexer_.text();
    frames_.push_back({});
  }

  std::optional<Expression> run() {
    while (true) {
      const Token token = lexer_.next();
      switch (token.kind) {
        case TokenKind::kString:
          if (!push()) return std::nullopt;
          expression_.nodes.push_back(Node::operand(lexer_.token_offset()));
          finish_unit(expression_.nodes.size() - 1);
          break;
        case TokenKind::kOpenParens:
          if (!push()) return std::nullopt;
          frames_.push_back({});
          break;
        case TokenKind::kAnd:
        case TokenKind::kOr:
        case TokenKind::kAndNot: {
          Frame& frame = frames_.back();
          if (frame.left == kNone || frame.has_operator || !push()) return std::nullopt;
          frame.has_operator = true;
          frame.pending = token.kind == TokenKind::kAnd  ? Op::kAnd
                          : token.kind == TokenKind::kOr ? Op::kOr
                                                         : Op::kAndNot;
          break;
        }
        case TokenKind::kCloseParens: {
          const Frame& frame = frames_.back();
          if (frames_.size() == 1 || frame.left == kNone || frame.has_operator || !push()) {
            return std::nullopt;
          }
          const size_t inner = frame.left;
          frames_.pop_back();
          depth_ -= 2;  // "(" expression ")" becomes one expression
          finish_unit(inner);
          break;
        }
        case TokenKind::kEnd: {
          const Frame& frame = frames_.back();
          if (frames_.size() != 1 || frame.left == kNone || frame.has_operator) {
            return std::nullopt;
          }
          return std::move(expression_);
        }
      }
    }
  }

 private:
  // One more stack entry; false once the stack is full.
  bool push() noexcept {
    if (depth_ + 1 >= kParserStackLimit) return false;
    ++depth_;
    return true;
  }

  // A unit (operand or parenthesised expression) whose root is node and
  // which holds one stack entry has been read: it becomes the frame's
  // expression, or the right operand of the frame's operator.
  void finish_unit(size_t node) {
    Frame& frame = frames_.back();
    if (frame.left == kNone) {
      frame.left = node;
      return;
    }
    const Op op = frame.has_operator ? frame.pending : Op::kAnd;
    depth_ -= frame.has_operator ? 2 : 1;
    frame.has_operator = false;
    expression_.nodes.push_back(Node::operation(op, frame.left));
    frame.left = expression_.nodes.size() - 1;
  }

  Lexer lexer_;
  Expression expression_;
  std::vector<Frame> frames_;
  size_t depth_ = 1;  // the start entry
};

}  // namespace

std::string_view operator_name(Op op) noexcept {
  switch (op) {
    case Op::kAnd: return "AND";
    case Op::kOr: return "OR";
    case Op::kAndNot: return "AND_NOT";
    case Op::kOperand: break;
  }
  return {};
}

std::string_view Expression::operand_text(const Node& node) const noexcept {
  return Lexer::operand_at(text, node.token_offset());
}

std::optional<Expression> parse_expression(std::string_view text) { return Parser(text).run(); }

}  // namespace korvi::expr
