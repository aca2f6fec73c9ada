#include "expr/lexer.h"

namespace korvi::expr {
namespace {

bool is_blank(unsigned char b) noexcept { return b == '\t' || b == '\n' || b == ' '; }

// ! " # $ % & ' ( ) end an unquoted operand.
bool is_stop(unsigned char b) noexcept { return b >= 0x21 && b <= 0x29; }

bool is_word(unsigned char b) noexcept { return b != 0 && !is_blank(b) && !is_stop(b); }

// End of the run of word bytes that starts at pos.
size_t word_end(std::string_view text, size_t pos) noexcept {
  while (pos < text.size() && is_word(static_cast<unsigned char>(text[pos]))) ++pos;
  return pos;
}

bool equals_ignoring_case(std::string_view word, std::string_view upper) noexcept {
  if (word.size() != upper.size()) return false;
  for (size_t i = 0; i < word.size(); ++i) {
    char c = word[i];
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    if (c != upper[i]) return false;
  }
  return true;
}

}  // namespace

Lexer::Lexer(std::string_view text) noexcept : text_(text.substr(0, text.find('\0'))) {}

Token Lexer::next() noexcept {
  const size_t size = text_.size();
  while (pos_ < size) {
    const auto b = static_cast<unsigned char>(text_[pos_]);
    token_offset_ = pos_;
    if (is_blank(b)) {
      ++pos_;
      continue;
    }
    if (b == '(') {
      ++pos_;
      return {TokenKind::kOpenParens, {}};
    }
    if (b == ')') {
      ++pos_;
      return {TokenKind::kCloseParens, {}};
    }
    if (b == '"') {
      // No escapes: the next double quote closes. Without one, the opening
      // quote alone is dropped and scanning goes on right after it.
      const size_t close = text_.find('"', pos_ + 1);
      if (close == std::string_view::npos) {
        ++pos_;
        continue;
      }
      const std::string_view inner = text_.substr(pos_ + 1, close - pos_ - 1);
      pos_ = close + 1;
      return {TokenKind::kString, inner};
    }
    if (is_word(b)) {
      const size_t end = word_end(text_, pos_);
      const std::string_view word = text_.substr(pos_, end - pos_);
      pos_ = end;
      // Keywords and the lone hyphen win only as whole words: a longer run
      // of word bytes is an operand (ANDY, ORB, -b).
      if (equals_ignoring_case(word, "AND")) return {TokenKind::kAnd, {}};
      if (equals_ignoring_case(word, "OR")) return {TokenKind::kOr, {}};
      if (word == "-") return {TokenKind::kAndNot, {}};
      return {TokenKind::kString, word};
    }
    ++pos_;  // ! # $ % & ' belong to no token
  }
  token_offset_ = size;
  return {TokenKind::kEnd, {}};
}

std::string_view Lexer::operand_at(std::string_view text, size_t offset) noexcept {
  if (text[offset] == '"') {
    const size_t close = text.find('"', offset + 1);
    return text.substr(offset + 1, close - offset - 1);
  }
  return text.substr(offset, word_end(text, offset) - offset);
}

}  // namespace korvi::expr
