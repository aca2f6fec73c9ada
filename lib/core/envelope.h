// The result envelopes of fingerprint(), written directly as compact JSON.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace korvi::core {

// "Input length too short", "Failed utf8 conversion", "Expression parse
// error", or "Unspecified error" for any other status.
std::string_view status_message(int32_t status) noexcept;

// {"success":false,"error":"<message of status>"}
void append_error_envelope(int32_t status, std::string& out);

// {"success":true,"data":   — the caller appends the data value, then '}'.
inline constexpr std::string_view kSuccessPrefix = "{\"success\":true,\"data\":";

}  // namespace korvi::core
