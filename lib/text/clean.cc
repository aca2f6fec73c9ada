#include "text/clean.h"

#include <array>

#include <utf8proc.h>

#include "base/utf8.h"
#include "korvi/common.h"

namespace korvi::text {
namespace {

enum class Mode { kText, kCode, kDigits };

Mode mode_of(int mode) noexcept {
  if (mode == CLEAN_CODE) return Mode::kCode;
  if (mode == CLEAN_DIGITS) return Mode::kDigits;
  return Mode::kText;
}

// Bit sets over utf8proc's general-category numbers (Cn = 0 ... Co = 29).
constexpr uint32_t bit(int category) { return uint32_t{1} << category; }
constexpr uint32_t kLetters = bit(UTF8PROC_CATEGORY_LU) | bit(UTF8PROC_CATEGORY_LL) |
                              bit(UTF8PROC_CATEGORY_LM) | bit(UTF8PROC_CATEGORY_LO);
constexpr uint32_t kNumbers =
    bit(UTF8PROC_CATEGORY_ND) | bit(UTF8PROC_CATEGORY_NL) | bit(UTF8PROC_CATEGORY_NO);
constexpr uint32_t kPunctuationAndSymbols =
    bit(UTF8PROC_CATEGORY_PC) | bit(UTF8PROC_CATEGORY_PD) | bit(UTF8PROC_CATEGORY_PS) |
    bit(UTF8PROC_CATEGORY_PE) | bit(UTF8PROC_CATEGORY_PI) | bit(UTF8PROC_CATEGORY_PF) |
    bit(UTF8PROC_CATEGORY_PO) | bit(UTF8PROC_CATEGORY_SM) | bit(UTF8PROC_CATEGORY_SC) |
    bit(UTF8PROC_CATEGORY_SK) | bit(UTF8PROC_CATEGORY_SO);
// Title-case letters (Lt) are deliberately left out of every mode.
constexpr uint32_t kTextCategories = kLetters | kNumbers | bit(UTF8PROC_CATEGORY_ZS);
constexpr uint32_t kCodeCategories = kTextCategories | kPunctuationAndSymbols;
constexpr uint32_t kDigitCategories = bit(UTF8PROC_CATEGORY_ND);

uint32_t kept_categories(Mode mode) noexcept {
  switch (mode) {
    case Mode::kCode: return kCodeCategories;
    case Mode::kDigits: return kDigitCategories;
    case Mode::kText: break;
  }
  return kTextCategories;
}

// What cleaning makes of one ASCII byte in each mode, precomputed: the
// upper-cased byte when kept, ' ' when replaced, 0 when deleted.
struct AsciiTable {
  std::array<std::array<char, 128>, 3> result{};
};

constexpr AsciiTable make_ascii_table() {
  AsciiTable table;
  for (int c = 0; c < 128; ++c) {
    const char upper = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : static_cast<char>(c);
    const bool alnum = (upper >= 'A' && upper <= 'Z') || (upper >= '0' && upper <= '9');
    const bool digit = upper >= '0' && upper <= '9';
    const bool graphic = c > 0x20 && c < 0x7F;  // punctuation and symbols besides alnum
    table.result[0][c] = (alnum || c == ' ') ? upper : ' ';
    table.result[1][c] = (alnum || graphic || c == ' ') ? upper : ' ';
    table.result[2][c] = digit ? upper : '\0';
  }
  return table;
}
constexpr AsciiTable kAscii = make_ascii_table();

}  // namespace

int32_t to_upper(int32_t codepoint) noexcept {
  if (codepoint < 0x80) return (codepoint >= 'a' && codepoint <= 'z') ? codepoint - 32 : codepoint;
  if (codepoint == 0xDF) return codepoint;
  return utf8proc_toupper(codepoint);
}

bool keeps(int mode, int32_t codepoint) noexcept {
  return (kept_categories(mode_of(mode)) & bit(utf8proc_category(codepoint))) != 0;
}

bool is_space_separator(int32_t codepoint) noexcept {
  if (codepoint < 0x80) return codepoint == ' ';
  return utf8proc_category(codepoint) == UTF8PROC_CATEGORY_ZS;
}

bool clean_into(std::string_view text, int mode, std::string& out) {
  const Mode m = mode_of(mode);
  const auto& ascii = kAscii.result[static_cast<size_t>(m)];
  const uint32_t kept = kept_categories(m);
  const auto* s = reinterpret_cast<const unsigned char*>(text.data());
  const size_t size = text.size();
  bool in_space_run = false;
  size_t i = 0;
  // ASCII never grows when cleaned, so a leading ASCII stretch is written
  // straight into room made for the whole text.
  const size_t before = out.size();
  out.resize(before + size);
  char* ascii_out = out.data() + before;
  for (; i < size && s[i] < 0x80; ++i) {
    const char c = ascii[s[i]];
    if (c == '\0') continue;  // deleted: does not end a run of spaces
    const bool space = c == ' ';
    if (!(space && in_space_run)) *ascii_out++ = c;
    in_space_run = space;
  }
  out.resize(static_cast<size_t>(ascii_out - out.data()));
  while (i < size) {
    if (s[i] < 0x80) {
      const char c = ascii[s[i++]];
      if (c == '\0') continue;  // deleted: does not end a run of spaces
      if (c == ' ') {
        if (!in_space_run) out.push_back(' ');
        in_space_run = true;
      } else {
        out.push_back(c);
        in_space_run = false;
      }
      continue;
    }
    const base::Utf8Sequence sequence = base::decode_utf8(s + i, size - i);
    if (!sequence.valid) return false;
    i += static_cast<size_t>(sequence.length);
    const int32_t upper = to_upper(sequence.codepoint);
    const int category = utf8proc_category(upper);
    int32_t result = upper;
    if ((kept & bit(category)) == 0) {
      if (m == Mode::kDigits) continue;
      result = ' ';
    }
    if (result == ' ' || (result >= 0x80 && category == UTF8PROC_CATEGORY_ZS)) {
      if (!in_space_run) out.push_back(' ');
      in_space_run = true;
    } else {
      char bytes[4];
      out.append(bytes, base::encode_utf8(static_cast<uint32_t>(result), bytes));
      in_space_run = false;
    }
  }
  return true;
}

std::optional<std::string> clean(std::string_view text, int mode) {
  std::string out;
  if (!clean_into(text, mode, out)) return std::nullopt;
  return out;
}

}  // namespace korvi::text
