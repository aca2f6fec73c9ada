// The library's own unit, above every module: the main entry point, which
// takes the plain road (lib/core) or the boolean road (lib/expr), and the
// exports that belong to the library as a whole.
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include <utf8proc.h>

#include "base/boundary.h"
#include "base/buffer.h"
#include "core/envelope.h"
#include "core/fingerprints.h"
#include "core/sha512_batch.h"
#include "core/sizes.h"
#include "expr/boolean_road.h"
#include "korvi/common.h"
#include "korvi/fingerprint.h"
#include "korvi/key.h"

namespace {

constexpr std::string_view kFingerprintsKey = "{\"fingerprints\":";
constexpr std::string_view kPlainSuffix = "}}";

char* append(char* out, std::string_view text) noexcept {
  std::memcpy(out, text.data(), text.size());
  return out + text.size();
}

// The plain road's answer, written straight into the buffer handed to the
// caller (one allocation, sized exactly): the envelope, or the bare digits.
// nullptr when the size, terminator included, cannot be addressed.
char* plain_answer(const korvi::core::Fingerprints& prints, uint32_t flags) noexcept {
  using korvi::core::saturating_add;
  const bool raw = (flags & FINGERPRINT_RAW) != 0;
  const size_t framing = korvi::core::kSuccessPrefix.size() + kFingerprintsKey.size() +
                         kPlainSuffix.size() + 1;
  const size_t size = raw ? saturating_add(prints.raw_length(), 1)
                          : saturating_add(prints.json_array_length(), framing);
  if (size == korvi::core::kSizeUnbounded) return nullptr;
  char* text = static_cast<char*>(std::malloc(size));
  if (text == nullptr) return nullptr;
  char* out = text;
  if (raw) {
    out = prints.write_raw(out);
  } else {
    out = append(out, korvi::core::kSuccessPrefix);
    out = append(out, kFingerprintsKey);
    out = prints.write_json_array(out);
    out = append(out, kPlainSuffix);
  }
  *out = '\0';
  return text;
}

// fingerprint() with public-salt or, given a key, keyed fingerprints.
FingerprintResult* fingerprint_with(const korvi_key* key, const char* text, int32_t clean_mode,
                                    uint32_t flags) noexcept {
  auto* result = static_cast<FingerprintResult*>(std::calloc(1, sizeof(FingerprintResult)));
  if (result == nullptr) return nullptr;
  const bool ok = korvi::base::guarded(
      [&] {
        std::string answer;
        if (text == nullptr) {
          result->status = STATUS_BAD_UTF8;
        } else if ((flags & FINGERPRINT_BOOLEAN) != 0) {
          result->status = korvi::expr::boolean_road(text, clean_mode, flags, answer, key);
          result->text = korvi::base::to_c_string(answer);
          return result->text != nullptr;
        } else {
          korvi::core::Fingerprints prints(false, key);
          result->status = korvi::core::fingerprint_text(text, clean_mode, flags, prints);
          if (result->status == STATUS_OK) {
            result->text = plain_answer(prints, flags);
            return result->text != nullptr;
          }
        }
        korvi::core::append_error_envelope(result->status, answer);
        result->text = korvi::base::to_c_string(answer);
        return result->text != nullptr;
      },
      false);
  if (!ok) {
    std::free(result->text);
    std::free(result);
    return nullptr;
  }
  return result;
}

// The bare fingerprints of many texts back to back, each text's count (or
// minus its status) in counts. A keyed call without a key refuses every
// text, as fingerprint_keyed refuses its text: never the salt instead.
char* fingerprint_many_with(bool keyed, const korvi_key* key, const char* const* texts,
                            size_t count, int32_t clean_mode, uint32_t flags,
                            int64_t* counts) noexcept {
  if (count > 0 && (texts == nullptr || counts == nullptr)) return nullptr;
  const uint32_t plain_flags = flags & (FINGERPRINT_TILED | FINGERPRINT_SHORT);
  return korvi::base::guarded(
      [&]() -> char* {
        korvi::base::Buffer digits;
        if (keyed && key == nullptr) {
          for (size_t i = 0; i < count; ++i) counts[i] = -STATUS_BAD_UTF8;
          return digits.release();
        }
        korvi::core::fingerprint_texts(
            texts, count, clean_mode, plain_flags, key,
            [&](size_t i, int32_t status, const korvi::core::Fingerprints& prints) {
              if (status != STATUS_OK) {
                counts[i] = -status;
                return;
              }
              counts[i] = static_cast<int64_t>(prints.size());
              digits.commit(prints.write_raw(digits.room(prints.raw_length())));
            });
        return digits.release();
      },
      static_cast<char*>(nullptr));
}

}  // namespace

extern "C" {

KORVI_API FingerprintResult* fingerprint(const char* text, int32_t clean_mode,
                                         uint32_t flags) noexcept {
  return fingerprint_with(nullptr, text, clean_mode, flags);
}

KORVI_API FingerprintResult* fingerprint_keyed(const korvi_key* key, const char* text,
                                               int32_t clean_mode, uint32_t flags) noexcept {
  // A missing key is refused like a missing text, never replaced by the salt.
  return fingerprint_with(key, key == nullptr ? nullptr : text, clean_mode, flags);
}

KORVI_API char* korvi_fingerprint_many(const char* const* texts, size_t count,
                                      int32_t clean_mode, uint32_t flags,
                                      int64_t* counts) noexcept {
  return fingerprint_many_with(false, nullptr, texts, count, clean_mode, flags, counts);
}

KORVI_API char* korvi_fingerprint_many_keyed(const korvi_key* key, const char* const* texts,
                                            size_t count, int32_t clean_mode, uint32_t flags,
                                            int64_t* counts) noexcept {
  return fingerprint_many_with(true, key, texts, count, clean_mode, flags, counts);
}

KORVI_API char* js_fingerprint(const char* text, int32_t clean_mode, uint32_t flags) noexcept {
  FingerprintResult* result = fingerprint(text, clean_mode, flags);
  if (result == nullptr) return nullptr;
  char* text_out = result->text;
  std::free(result);
  return text_out;
}

KORVI_API void free_result(FingerprintResult* result) noexcept {
  if (result == nullptr) return;
  std::free(result->text);
  std::free(result);
}

KORVI_API void korvi_free(void* pointer) noexcept { std::free(pointer); }

KORVI_API const char* korvi_version(void) noexcept { return "0.1.0"; }

KORVI_API const char* korvi_unicode_version(void) noexcept { return utf8proc_unicode_version(); }

KORVI_API const char* korvi_sha512_implementation(void) noexcept {
  return korvi::core::sha512_batch_kernel();
}

}  // extern "C"
