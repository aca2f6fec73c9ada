// UTF-8 at the byte level, the one decoder and encoder of the library: the
// cleaner, the window cutter and the JSON writer and parser all read text
// through these.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace korvi::base {

inline bool is_continuation(unsigned char byte) noexcept { return (byte & 0xC0) == 0x80; }

// Bytes of the sequence that lead starts, in a text known to be well-formed.
inline size_t sequence_length(unsigned char lead) noexcept {
  if (lead < 0x80) return 1;
  if (lead < 0xE0) return 2;
  if (lead < 0xF0) return 3;
  return 4;
}

struct Utf8Sequence {
  int length;         // bytes of the sequence, or of its maximal ill-formed subpart (at least 1)
  bool valid;
  int32_t codepoint;  // when valid
};

// For decode_utf8 on a zero-terminated text: a zero byte never continues a
// sequence, so nothing beyond the terminator is read.
inline constexpr size_t kUntilZero = SIZE_MAX;

// Decodes the sequence at s (avail >= 1 bytes readable) by the table of
// well-formed byte sequences: no stray continuation bytes, no overlong forms,
// no surrogates, nothing above U+10FFFF, nothing cut short. An ill-formed
// sequence reports the maximal subpart that a single U+FFFD replaces.
inline Utf8Sequence decode_utf8(const unsigned char* s, size_t avail) noexcept {
  const unsigned lead = s[0];
  if (lead < 0x80) return {1, true, static_cast<int32_t>(lead)};
  // The second byte's range depends on the lead; later bytes are 80-BF.
  unsigned low = 0x80, high = 0xBF;
  int trail;
  int32_t codepoint;
  if (lead >= 0xC2 && lead <= 0xDF) {
    trail = 1;
    codepoint = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    trail = 2;
    codepoint = lead & 0x0F;
    if (lead == 0xE0) low = 0xA0;        // overlong
    if (lead == 0xED) high = 0x9F;       // surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    trail = 3;
    codepoint = lead & 0x07;
    if (lead == 0xF0) low = 0x90;        // overlong
    if (lead == 0xF4) high = 0x8F;       // beyond U+10FFFF
  } else {
    return {1, false, 0};
  }
  if (avail < 2 || s[1] < low || s[1] > high) return {1, false, 0};
  codepoint = (codepoint << 6) | (s[1] & 0x3F);
  for (int i = 2; i <= trail; ++i) {
    if (static_cast<size_t>(i) >= avail || !is_continuation(s[i])) return {i, false, 0};
    codepoint = (codepoint << 6) | (s[i] & 0x3F);
  }
  return {trail + 1, true, codepoint};
}

// Writes the UTF-8 form of a code point into out (4 bytes) and returns its
// length; values above U+10FFFF (negative ones included) give 0. Surrogate
// values are encoded, not refused.
inline size_t encode_utf8(uint32_t codepoint, char* out) noexcept {
  const uint32_t c = codepoint;
  if (c < 0x80) {
    out[0] = static_cast<char>(c);
    return 1;
  }
  if (c < 0x800) {
    out[0] = static_cast<char>(0xC0 | (c >> 6));
    out[1] = static_cast<char>(0x80 | (c & 0x3F));
    return 2;
  }
  if (c < 0x10000) {
    out[0] = static_cast<char>(0xE0 | (c >> 12));
    out[1] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out[2] = static_cast<char>(0x80 | (c & 0x3F));
    return 3;
  }
  if (c < 0x110000) {
    out[0] = static_cast<char>(0xF0 | (c >> 18));
    out[1] = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out[2] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out[3] = static_cast<char>(0x80 | (c & 0x3F));
    return 4;
  }
  return 0;
}

inline bool is_valid_utf8(std::string_view text) noexcept {
  const auto* s = reinterpret_cast<const unsigned char*>(text.data());
  size_t i = 0;
  while (i < text.size()) {
    if (s[i] < 0x80) {
      ++i;
      continue;
    }
    const Utf8Sequence sequence = decode_utf8(s + i, text.size() - i);
    if (!sequence.valid) return false;
    i += static_cast<size_t>(sequence.length);
  }
  return true;
}

// Code points from the start up to the end or the first ill-formed sequence.
inline size_t count_codepoints(std::string_view text) noexcept {
  const auto* s = reinterpret_cast<const unsigned char*>(text.data());
  size_t i = 0, count = 0;
  while (i < text.size()) {
    if (s[i] < 0x80) {
      ++i;
    } else {
      const Utf8Sequence sequence = decode_utf8(s + i, text.size() - i);
      if (!sequence.valid) break;
      i += static_cast<size_t>(sequence.length);
    }
    ++count;
  }
  return count;
}

}  // namespace korvi::base
