// Tokens of boolean expressions, cut byte by byte. UTF-8 is never decoded:
// bytes 0x80-0xFF are ordinary word bytes, so multi-byte characters stay
// whole inside operands.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace korvi::expr {

enum class TokenKind : uint8_t {
  kEnd,
  kOpenParens,
  kCloseParens,
  kAnd,     // AND in any letter case, as a whole word
  kOr,      // OR in any letter case, as a whole word
  kAndNot,  // a hyphen that no word byte follows
  kString,  // a run of word bytes, or a double-quoted text
};

struct Token {
  TokenKind kind = TokenKind::kEnd;
  std::string_view text;  // kString: the operand's bytes, quotes removed
};

// Cuts a text into tokens. The text ends at its size or at its first zero
// byte. Bytes that start no token (! # $ % & ' and a double quote that is
// never closed) are dropped. Operand texts point into the text.
class Lexer {
 public:
  explicit Lexer(std::string_view text) noexcept;

  Token next() noexcept;
  // The text being cut, up to its end.
  std::string_view text() const noexcept { return text_; }
  // Where the last token returned by next() began.
  size_t token_offset() const noexcept { return token_offset_; }

  // The operand of the kString token that begins at offset in text.
  static std::string_view operand_at(std::string_view text, size_t offset) noexcept;

 private:
  std::string_view text_;
  size_t pos_ = 0;
  size_t token_offset_ = 0;
};

}  // namespace korvi::expr
