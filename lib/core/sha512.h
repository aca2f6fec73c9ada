// The one place that knows which SHA-512 implementation the library uses.
#pragma once

#include <cstdint>
#include <string_view>

namespace korvi::core {

inline constexpr size_t kSha512Bytes = 64;

// SHA-512 of the concatenation first + second, without copying them together.
void sha512_concat(std::string_view first, std::string_view second, uint8_t* digest) noexcept;

}  // namespace korvi::core
