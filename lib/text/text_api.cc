// C exports of text normalization: code-point strings and cleaning.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "base/boundary.h"
#include "base/utf8.h"
#include "korvi/pipeline.h"
#include "korvi/text.h"
#include "text/clean.h"

using korvi::base::guarded;
using korvi::base::to_c_string;

namespace {

// A zero-filled code-point array of n slots, or nullptr (also on overflow).
int32_t* new_codepoints(size_t n) noexcept {
  if (n > SIZE_MAX / sizeof(int32_t)) return nullptr;
  return static_cast<int32_t*>(std::calloc(n, sizeof(int32_t)));
}

int mode_of_user(void* user) noexcept {
  return static_cast<int>(static_cast<uint32_t>(reinterpret_cast<uintptr_t>(user)));
}

}  // namespace

extern "C" {

KORVI_API int32_t* utf8_decode(const char* text) noexcept {
  if (text == nullptr) return nullptr;
  const size_t size = std::strlen(text);
  if (size == SIZE_MAX) return nullptr;
  int32_t* codepoints = new_codepoints(size + 1);
  if (codepoints == nullptr) return nullptr;
  const auto* s = reinterpret_cast<const unsigned char*>(text);
  size_t at = 0, count = 0;
  while (at < size) {
    const korvi::base::Utf8Sequence sequence = korvi::base::decode_utf8(s + at, size - at);
    if (!sequence.valid) {
      std::free(codepoints);
      return nullptr;
    }
    codepoints[count++] = sequence.codepoint;
    at += static_cast<size_t>(sequence.length);
  }
  return codepoints;
}

KORVI_API char* utf8_encode(const int32_t* codepoints) noexcept {
  if (codepoints == nullptr) return nullptr;
  return guarded(
      [&] {
        std::string out;
        char bytes[4];
        for (const int32_t* p = codepoints; *p != 0; ++p)
          out.append(bytes, korvi::base::encode_utf8(static_cast<uint32_t>(*p), bytes));
        return to_c_string(out);
      },
      static_cast<char*>(nullptr));
}

KORVI_API size_t unicode_length(const int32_t* codepoints) noexcept {
  if (codepoints == nullptr) return 0;
  size_t n = 0;
  while (codepoints[n] != 0) ++n;
  return n;
}

KORVI_API int32_t* unicode_duplicate(const int32_t* codepoints) noexcept {
  if (codepoints == nullptr) return nullptr;
  const size_t n = unicode_length(codepoints) + 1;
  int32_t* copy = new_codepoints(n);
  if (copy != nullptr) std::memcpy(copy, codepoints, n * sizeof(int32_t));
  return copy;
}

KORVI_API void unicode_mutate(int32_t* codepoints, unicode_mapping_fn fn, void* user) noexcept {
  if (codepoints == nullptr || fn == nullptr) return;
  int32_t* write = codepoints;
  for (const int32_t* read = codepoints; *read != 0; ++read) {
    const int32_t mapped = fn(*read, user);
    if (mapped != 0) *write++ = mapped;
  }
  *write = 0;
}

KORVI_API bool is_valid_text(int32_t codepoint) noexcept {
  return korvi::text::keeps(CLEAN_TEXT, codepoint);
}

KORVI_API bool is_valid_code(int32_t codepoint) noexcept {
  return korvi::text::keeps(CLEAN_CODE, codepoint);
}

KORVI_API bool is_valid_digit(int32_t codepoint) noexcept {
  return korvi::text::keeps(CLEAN_DIGITS, codepoint);
}

KORVI_API int32_t filter_codepoint_by_mode(int32_t codepoint, int mode) noexcept {
  if (korvi::text::keeps(mode, codepoint)) return codepoint;
  return mode == CLEAN_DIGITS ? 0 : ' ';
}

KORVI_API int32_t filter_and_upcase(int32_t codepoint, void* user) noexcept {
  return filter_codepoint_by_mode(korvi::text::to_upper(codepoint), mode_of_user(user));
}

KORVI_API int32_t* unicode_collapse_whitespace(const int32_t* codepoints) noexcept {
  if (codepoints == nullptr) return nullptr;
  int32_t* out = new_codepoints(unicode_length(codepoints) + 1);
  if (out == nullptr) return nullptr;
  size_t n = 0;
  bool in_space_run = false;
  for (const int32_t* p = codepoints; *p != 0; ++p) {
    if (korvi::text::is_space_separator(*p)) {
      if (!in_space_run) out[n++] = ' ';
      in_space_run = true;
    } else {
      out[n++] = *p;
      in_space_run = false;
    }
  }
  out[n] = 0;
  int32_t* exact = unicode_duplicate(out);
  std::free(out);
  return exact;
}

KORVI_API int32_t* unicode_clean(const int32_t* codepoints, int mode) noexcept {
  int32_t* work = unicode_duplicate(codepoints);
  if (work == nullptr) return nullptr;
  unicode_mutate(work, filter_and_upcase,
                 reinterpret_cast<void*>(static_cast<uintptr_t>(static_cast<uint32_t>(mode))));
  int32_t* collapsed = unicode_collapse_whitespace(work);
  std::free(work);
  return collapsed;
}

KORVI_API char* utf8_clean(const char* text, int mode) noexcept {
  if (text == nullptr) return nullptr;
  return guarded(
      [&]() -> char* {
        std::string out;
        if (!korvi::text::clean_into(text, mode, out)) return nullptr;
        return to_c_string(out);
      },
      static_cast<char*>(nullptr));
}

KORVI_API char* clean_string(const char* text, int mode) noexcept { return utf8_clean(text, mode); }

}  // extern "C"
