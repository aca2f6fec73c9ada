// The main entry point: fingerprint(), js_fingerprint(), free_result().
#include <cstdlib>
#include <string>

#include "capi/boundary.h"
#include "core/envelope.h"
#include "core/fingerprints.h"
#include "expr/boolean_road.h"
#include "korvi/fingerprint.h"

namespace {

// The plain road: the text is one value. Replaces answer and returns the status.
int32_t plain_road(const char* text, int32_t clean_mode, uint32_t flags, std::string& answer) {
  answer.clear();
  korvi::core::Fingerprints prints;
  const int32_t status = korvi::core::fingerprint_text(text, clean_mode, flags, prints);
  if (status != STATUS_OK) {
    korvi::core::append_error_envelope(status, answer);
  } else if ((flags & FINGERPRINT_RAW) != 0) {
    prints.append_raw(answer);
  } else {
    answer += korvi::core::kSuccessPrefix;
    answer += "{\"fingerprints\":";
    prints.append_json_array(answer);
    answer += "}}";
  }
  return status;
}

}  // namespace

extern "C" {

KORVI_API FingerprintResult* fingerprint(const char* text, int32_t clean_mode,
                                         uint32_t flags) noexcept {
  auto* result = static_cast<FingerprintResult*>(std::calloc(1, sizeof(FingerprintResult)));
  if (result == nullptr) return nullptr;
  const bool ok = korvi::capi::guarded(
      [&] {
        std::string answer;
        if (text == nullptr) {
          result->status = STATUS_BAD_UTF8;
          korvi::core::append_error_envelope(result->status, answer);
        } else if ((flags & FINGERPRINT_BOOLEAN) != 0) {
          result->status = korvi::expr::boolean_road(text, clean_mode, flags, answer);
        } else {
          result->status = plain_road(text, clean_mode, flags, answer);
        }
        result->text = korvi::capi::to_c_string(answer);
        return result->text != nullptr;
      },
      false);
  if (!ok) {
    std::free(result);
    return nullptr;
  }
  return result;
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

}  // extern "C"
