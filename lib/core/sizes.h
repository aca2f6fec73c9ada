// Sizes worked out from lengths that input decides. On a 32-bit host a text
// of some tens of megabytes already makes "items * digits" wrap, and a
// buffer allocated at the wrapped size would then be overrun. These saturate
// at SIZE_MAX instead, a size no allocation can satisfy, so the caller fails
// as for any other lack of memory.
#pragma once

#include <cstddef>
#include <cstdint>

namespace korvi::core {

inline constexpr size_t kSizeUnbounded = SIZE_MAX;

constexpr size_t saturating_add(size_t a, size_t b) noexcept {
  return a > kSizeUnbounded - b ? kSizeUnbounded : a + b;
}

constexpr size_t saturating_mul(size_t a, size_t b) noexcept {
  return b != 0 && a > kSizeUnbounded / b ? kSizeUnbounded : a * b;
}

}  // namespace korvi::core
