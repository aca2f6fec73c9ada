// Bytes as lower-case hex digits, written plainly so that tests of the
// library's own digit writers have an independent answer to compare with.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace korvi::testing {

inline std::string to_hex(const uint8_t* bytes, size_t count) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string s;
  for (size_t i = 0; i < count; ++i) {
    s.push_back(kDigits[bytes[i] >> 4]);
    s.push_back(kDigits[bytes[i] & 15]);
  }
  return s;
}

}  // namespace korvi::testing
