#include "expr/lexer.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

namespace korvi::expr {
namespace {

// Token stream as text: operands in brackets, keywords by name.
std::string tokens_of(std::string_view text) {
  Lexer lexer(text);
  std::string out;
  for (Token token = lexer.next(); token.kind != TokenKind::kEnd; token = lexer.next()) {
    if (!out.empty()) out += ' ';
    switch (token.kind) {
      case TokenKind::kOpenParens: out += '('; break;
      case TokenKind::kCloseParens: out += ')'; break;
      case TokenKind::kAnd: out += "AND"; break;
      case TokenKind::kOr: out += "OR"; break;
      case TokenKind::kAndNot: out += '-'; break;
      case TokenKind::kString: out += '[' + std::string(token.text) + ']'; break;
      case TokenKind::kEnd: break;
    }
  }
  return out;
}

struct LexCase {
  const char* name;
  std::string_view text;
  const char* tokens;
};

TEST(Lexer, CutsTextsIntoTokens) {
  const LexCase cases[] = {
      {"blanks around an operand", "  a  ", "[a]"},
      {"empty text", "", ""},
      {"blanks only", " \t\n ", ""},
      {"OR upper", "a OR b", "[a] OR [b]"},
      {"or lower", "a or b", "[a] OR [b]"},
      {"Or mixed", "a Or b", "[a] OR [b]"},
      {"oR mixed", "a oR b", "[a] OR [b]"},
      {"AND any case", "a aNd b", "[a] AND [b]"},
      {"keywords only as whole words", "ORANGE AND ANDY", "[ORANGE] AND [ANDY]"},
      {"keyword prefixes of words", "ORB andor ANDOR", "[ORB] [andor] [ANDOR]"},
      {"keyword glued to a hyphen is a word", "OR- -AND", "[OR-] [-AND]"},
      {"keyword before a parenthesis", "AND(", "AND ("},
      {"keyword before a quote", "OR\"x\"", "OR [x]"},
      {"no NOT keyword", "NOT a", "[NOT] [a]"},
      {"lone hyphen", "a - b", "[a] - [b]"},
      {"hyphen before a quote", "a -\"b\"", "[a] - [b]"},
      {"hyphen before a parenthesis", "a -(b)", "[a] - ( [b] )"},
      {"hyphen at the end", "a -", "[a] -"},
      {"hyphen starting a word", "a -b", "[a] [-b]"},
      {"double hyphen", "--", "[--]"},
      {"hyphen inside a word", "a-b", "[a-b]"},
      {"quoted texts", "\"x y\" \"AND\"", "[x y] [AND]"},
      {"empty quoted text", "\"\"", "[]"},
      {"stop bytes and blanks inside quotes", "\"a(b) OR 'c'!\n\"", "[a(b) OR 'c'!\n]"},
      {"backslash does not escape", "\"a\\\"b\"", "[a\\] [b]"},
      {"unclosed quote is dropped", "\"abc", "[abc]"},
      {"unclosed quote after a pair", "\"a\" b \"c d", "[a] [b] [c] [d]"},
      {"quote ends a word", "abc\"def\"", "[abc] [def]"},
      {"word after a quote", "\"x\"y", "[x] [y]"},
      {"parentheses end words", "a(b)", "[a] ( [b] )"},
      {"ampersand is dropped", "a&b", "[a] [b]"},
      {"stray bytes only", "!#$%&'", ""},
      {"every stray byte ends a word", "a!b#c$d%e'f", "[a] [b] [c] [d] [e] [f]"},
      {"CR stays in the word before LF", "a\r\nb", "[a\r] [b]"},
      {"tab and line feed separate", "a\tb\nc", "[a] [b] [c]"},
      {"other control bytes are word bytes", "a\vb\fc\x01", "[a\vb\fc\x01]"},
      {"UTF-8 stays whole", "caf\xC3\xA9 \xE4\xB8\xAD", "[caf\xC3\xA9] [\xE4\xB8\xAD]"},
      {"any high byte is a word byte", "\x80\xBF\xC0\xFE\xFF", "[\x80\xBF\xC0\xFE\xFF]"},
      {"a zero byte ends the text", std::string_view("a\0b", 3), "[a]"},
  };
  for (const LexCase& c : cases) {
    EXPECT_EQ(tokens_of(c.text), c.tokens) << c.name;
  }
}

TEST(Lexer, StaysAtTheEnd) {
  Lexer lexer("a");
  EXPECT_EQ(lexer.next().kind, TokenKind::kString);
  EXPECT_EQ(lexer.next().kind, TokenKind::kEnd);
  EXPECT_EQ(lexer.next().kind, TokenKind::kEnd);
}

}  // namespace
}  // namespace korvi::expr
