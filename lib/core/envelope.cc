#include "core/envelope.h"

#include "korvi/common.h"

namespace korvi::core {

std::string_view status_message(int32_t status) noexcept {
  switch (status) {
    case STATUS_TOO_SHORT: return "Input length too short";
    case STATUS_BAD_UTF8: return "Failed utf8 conversion";
    case STATUS_PARSE_ERROR: return "Expression parse error";
    default: return "Unspecified error";
  }
}

void append_error_envelope(int32_t status, std::string& out) {
  // The messages hold nothing that JSON would escape.
  out += "{\"success\":false,\"error\":\"";
  out += status_message(status);
  out += "\"}";
}

}  // namespace korvi::core
