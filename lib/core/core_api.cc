// C exports of the fingerprinting pipeline: hashing, windows, shingle sets.
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string>

#define utarray_oom() throw std::bad_alloc()
#include "korvi/stringlist.h"

#include "base/boundary.h"
#include "base/utf8.h"
#include "core/fingerprints.h"
#include "core/sizes.h"
#include "korvi/fingerprint.h"
#include "korvi/json.h"
#include "korvi/pipeline.h"
#include "text/clean.h"

using korvi::base::guarded;
using korvi::base::to_c_string;
using korvi::core::Fingerprints;

namespace {

bool is_short(uint32_t flags) noexcept { return (flags & FINGERPRINT_SHORT) != 0; }

// Digits of one fingerprint for the flags, and its buffer size.
uint32_t digits_for(uint32_t flags) noexcept {
  return is_short(flags) ? KORVI_SHORT_FINGERPRINT_DIGITS : KORVI_FINGERPRINT_DIGITS;
}

// A ShingleSet holding the fingerprints in their current order, or nullptr.
ShingleSet* to_shingle_set(const Fingerprints& prints) noexcept {
  if (prints.size() > UINT32_MAX) return nullptr;  // the count would wrap
  ShingleSet* set = new_shingles(static_cast<uint32_t>(prints.size()),
                                 static_cast<uint32_t>(prints.hex_digits()));
  if (set == nullptr) return nullptr;
  for (uint32_t i = 0; i < set->count; ++i) prints.hex(i, set->items[i]);
  return set;
}

// Windows of a text handed in directly: it must be valid and long enough.
ShingleSet* cut_checked(const char* text, uint32_t flags, bool tiled) noexcept {
  if (text == nullptr) return nullptr;
  return guarded(
      [&]() -> ShingleSet* {
        const std::string_view view(text);
        if (!korvi::base::is_valid_utf8(view) ||
            korvi::base::count_codepoints(view) < korvi::core::kWindowCodepoints)
          return nullptr;
        Fingerprints prints(is_short(flags));
        korvi::core::cut_windows(view, tiled, prints);
        return to_shingle_set(prints);
      },
      static_cast<ShingleSet*>(nullptr));
}

int compare_items(const char* a, const char* b) noexcept {
  // An emptied slot sorts as the empty string.
  return std::strcmp(a != nullptr ? a : "", b != nullptr ? b : "");
}

}  // namespace

extern "C" {

KORVI_API size_t sprint_hex(char* out, const uint8_t* bytes, size_t count) noexcept {
  if (out == nullptr) return 0;
  if (bytes == nullptr) {  // nothing to write: an empty text
    out[0] = '\0';
    return 0;
  }
  static constexpr char kDigits[] = "0123456789abcdef";
  for (size_t i = 0; i < count; ++i) {
    out[2 * i] = kDigits[bytes[i] >> 4];
    out[2 * i + 1] = kDigits[bytes[i] & 0x0F];
  }
  out[2 * count] = '\0';
  return count;
}

KORVI_API void fingerprint_shingle(const char* text, char* out, size_t length,
                                   uint32_t flags) noexcept {
  if (out == nullptr || (text == nullptr && length > 0)) return;
  korvi::core::hash_hex(std::string_view(text == nullptr ? "" : text, length), is_short(flags), out);
}

KORVI_API char* fingerprint_chunk(const char* text, uint32_t flags) noexcept {
  if (text == nullptr) return nullptr;
  char* out = static_cast<char*>(std::calloc(digits_for(flags) + 1, 1));
  if (out != nullptr) korvi::core::hash_hex(text, is_short(flags), out);
  return out;
}

KORVI_API size_t utf8_codepoint_count(const char* text) noexcept {
  return text == nullptr ? 0 : korvi::base::count_codepoints(text);
}

KORVI_API ptrdiff_t read_codepoints(const char* text, size_t n) noexcept {
  if (text == nullptr) return -1;
  const auto* s = reinterpret_cast<const unsigned char*>(text);
  size_t at = 0;
  for (size_t k = 0; k < n; ++k) {
    if (s[at] == '\0') return -1;
    const korvi::base::Utf8Sequence sequence = korvi::base::decode_utf8(s + at, korvi::base::kUntilZero);
    if (!sequence.valid) return -1;
    at += static_cast<size_t>(sequence.length);
  }
  return static_cast<ptrdiff_t>(at);
}

KORVI_API char* pad_string(const char* text, FingerprintResult* result) noexcept {
  if (text == nullptr) return nullptr;
  const size_t codepoints = korvi::base::count_codepoints(text);
  if (codepoints <= korvi::core::kTooShortCodepoints) {
    if (result != nullptr) result->status = STATUS_TOO_SHORT;
    return nullptr;
  }
  if (codepoints >= korvi::core::kWindowCodepoints) return to_c_string(text);
  return guarded(
      [&] {
        std::string padded(" ");
        padded.append(text).push_back(' ');
        return to_c_string(padded);
      },
      static_cast<char*>(nullptr));
}

KORVI_API ShingleSet* shingled(const char* text, uint32_t flags) noexcept {
  return cut_checked(text, flags, false);
}

KORVI_API ShingleSet* tiled(const char* text, uint32_t flags) noexcept {
  return cut_checked(text, flags, true);
}

KORVI_API ShingleSet* fingerprint_string(const char* text, int clean_mode, uint32_t flags,
                                         FingerprintResult* result) noexcept {
  FingerprintResult scratch{STATUS_OK, nullptr};
  if (result == nullptr) result = &scratch;
  if (text == nullptr) {
    result->status = STATUS_BAD_UTF8;
    return nullptr;
  }
  return guarded(
      [&]() -> ShingleSet* {
        std::string cleaned;
        if (!korvi::text::clean_into(text, clean_mode, cleaned)) {
          result->status = STATUS_BAD_UTF8;
          return nullptr;
        }
        if (korvi::base::count_codepoints(cleaned) <= korvi::core::kTooShortCodepoints) {
          result->status = STATUS_TOO_SHORT;
          return nullptr;
        }
        // An earlier failure suppresses hashing.
        if (result->status != STATUS_OK) return nullptr;
        Fingerprints prints;
        korvi::core::fingerprint_cleaned(cleaned, flags, prints);
        return to_shingle_set(prints);
      },
      static_cast<ShingleSet*>(nullptr));
}

KORVI_API ShingleSet* new_shingles(uint32_t count, uint32_t length) noexcept {
  auto* set = static_cast<ShingleSet*>(std::calloc(1, sizeof(ShingleSet)));
  if (set == nullptr) return nullptr;
  set->length = length;
  if (count == 0) return set;
  set->items = static_cast<char**>(std::calloc(count, sizeof(char*)));
  if (set->items == nullptr) {
    std::free(set);
    return nullptr;
  }
  // length + 1 wraps to 0 for UINT32_MAX on 32-bit hosts.
  const size_t item_bytes = korvi::core::saturating_add(length, 1);
  if (item_bytes == korvi::core::kSizeUnbounded) {
    free_shingles(set);
    return nullptr;
  }
  for (uint32_t i = 0; i < count; ++i) {
    set->items[i] = static_cast<char*>(std::calloc(item_bytes, 1));
    set->count = i + 1;
    if (set->items[i] == nullptr) {
      free_shingles(set);
      return nullptr;
    }
  }
  return set;
}

KORVI_API void free_shingles(ShingleSet* set) noexcept {
  if (set == nullptr) return;
  if (set->items != nullptr) {
    for (uint32_t i = 0; i < set->count; ++i) std::free(set->items[i]);
    std::free(set->items);
  }
  std::free(set);
}

KORVI_API void sift_down(char** items, uint32_t root, uint32_t end) noexcept {
  if (items == nullptr) return;
  // 64-bit child indexes so 2 * root + 2 cannot wrap for large sets.
  uint64_t at = root;
  while (2 * at + 1 < end) {
    uint64_t child = 2 * at + 1;
    if (child + 1 < end && compare_items(items[child], items[child + 1]) < 0) ++child;
    if (compare_items(items[at], items[child]) >= 0) return;
    std::swap(items[at], items[child]);
    at = child;
  }
}

KORVI_API void sort_shingles(ShingleSet* set) noexcept {
  if (set == nullptr || set->items == nullptr || set->count < 2) return;
  const uint32_t count = set->count;
  for (uint32_t root = (count - 2) / 2 + 1; root-- > 0;) sift_down(set->items, root, count);
  for (uint32_t end = count - 1; end >= 1; --end) {
    std::swap(set->items[0], set->items[end]);
    sift_down(set->items, 0, end);
  }
}

KORVI_API void dedup_shingles(ShingleSet* set) noexcept {
  if (set == nullptr || set->items == nullptr || set->count < 2) return;
  char** items = set->items;
  for (uint32_t i = set->count - 1; i-- > 0;) {
    if (items[i] != nullptr && items[i + 1] != nullptr && std::strcmp(items[i], items[i + 1]) == 0) {
      std::free(items[i + 1]);
      items[i + 1] = nullptr;
    }
  }
  uint32_t kept = 0;
  for (uint32_t i = 0; i < set->count; ++i) {
    if (items[i] == nullptr) continue;
    if (i != kept) {
      items[kept] = items[i];
      items[i] = nullptr;
    }
    ++kept;
  }
  set->count = kept;
}

KORVI_API uint32_t shingles_into_json(const ShingleSet* set, JsonNode* array) noexcept {
  if (set == nullptr || array == nullptr || array->tag != JSON_ARRAY) return 0;
  uint32_t appended = 0;
  for (uint32_t i = 0; i < set->count; ++i) {
    JsonNode* item = json_mkstring(set->items[i] != nullptr ? set->items[i] : "");
    if (item == nullptr) break;
    json_append_element(array, item);
    ++appended;
  }
  return appended;
}

KORVI_API JsonNode* shingles_to_json(const ShingleSet* set) noexcept {
  if (set == nullptr) return nullptr;
  JsonNode* array = json_mkarray();
  if (array == nullptr) return nullptr;
  if (shingles_into_json(set, array) != set->count) {
    json_delete(array);
    return nullptr;
  }
  return array;
}

KORVI_API StringList* shingles_to_array(const ShingleSet* set) noexcept {
  if (set == nullptr) return nullptr;
  UT_array* list = nullptr;
  try {
    utarray_new(list, &ut_str_icd);
    utarray_reserve(list, set->count);
    for (uint32_t i = 0; i < set->count; ++i) {
      const char* item = set->items[i] != nullptr ? set->items[i] : "";
      utarray_push_back(list, &item);
      // The string element copier does not report a failed strdup.
      if (*static_cast<char**>(utarray_back(list)) == nullptr) throw std::bad_alloc();
    }
    return list;
  } catch (...) {
    if (list != nullptr) utarray_free(list);
    return nullptr;
  }
}

KORVI_API char* raw_encode(const ShingleSet* set) noexcept {
  if (set == nullptr) return nullptr;
  return guarded(
      [&] {
        std::string out;
        out.reserve(korvi::core::saturating_mul(set->count, set->length) == korvi::core::kSizeUnbounded
                        ? 0
                        : static_cast<size_t>(set->count) * set->length);
        for (uint32_t i = 0; i < set->count; ++i)
          if (set->items[i] != nullptr) out += set->items[i];
        return to_c_string(out);
      },
      static_cast<char*>(nullptr));
}

}  // extern "C"
