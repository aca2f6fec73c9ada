// Text normalization internals: upper-casing and the cleaning modes, and the
// one-pass cleaner behind utf8_clean and every fingerprint. UTF-8 itself is
// read and written by base/utf8.h.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace korvi::text {

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
