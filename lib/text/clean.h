// Text normalization internals: UTF-8 decoding with the library's validity
// rules, and the one-pass cleaner behind utf8_clean and every fingerprint.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace korvi::text {

// Decodes the sequence starting at s[0] (avail >= 1 bytes readable) by the
// rules of utf8proc_iterate: no stray continuation bytes, no overlong forms,
// no surrogates, nothing above U+10FFFF. Returns its length (1-4) and stores
// the code point, or returns 0 when the sequence is ill-formed or truncated.
int decode_one(const unsigned char* s, size_t avail, int32_t& codepoint) noexcept;

// Appends the UTF-8 form of a code point; values outside 0..0x10FFFF append nothing.
void encode_one(int32_t codepoint, std::string& out);

bool is_valid_utf8(std::string_view text) noexcept;

// Code points from the start up to the end or the first ill-formed sequence.
size_t count_codepoints(std::string_view text) noexcept;

// Simple upper-case mapping of the character data, except that U+00DF
// LATIN SMALL LETTER SHARP S stays itself (newer data maps it to U+1E9E,
// which would change the fingerprints of German names and streets).
int32_t to_upper(int32_t codepoint) noexcept;

// Whether the mode keeps the general category of the code point.
bool keeps(int mode, int32_t codepoint) noexcept;
bool is_space_separator(int32_t codepoint) noexcept;  // category Zs

// Upper-cases, filters by mode and collapses runs of space separators into
// one U+0020, appending to out. Returns false (out unspecified) when text is
// not valid UTF-8.
bool clean_into(std::string_view text, int mode, std::string& out);
std::optional<std::string> clean(std::string_view text, int mode);

}  // namespace korvi::text
