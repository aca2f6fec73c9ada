// Shared by the fuzz targets: reading the fuzzer's bytes, and checks that
// stop the run with a message (a failed check is a finding, like a crash).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "korvi/korvi.h"
#include "owners.h"

#define FUZZ_CHECK(condition)                                                          \
  do {                                                                                 \
    if (!(condition)) korvi::fuzz::fail(__FILE__, __LINE__, #condition);               \
  } while (0)

namespace korvi::fuzz {

[[noreturn]] inline void fail(const char* file, int line, const char* what) {
  std::fprintf(stderr, "%s:%d: check failed: %s\n", file, line, what);
  std::abort();
}

// Consumes the input front to back; reading past the end gives zeros.
class Input {
 public:
  Input(const uint8_t* data, size_t size) : data_(data), size_(size) {}

  uint8_t byte() { return at_ < size_ ? data_[at_++] : 0; }
  uint32_t u32() {
    uint32_t value = 0;
    for (int i = 0; i < 4; ++i) value |= static_cast<uint32_t>(byte()) << (8 * i);
    return value;
  }
  uint64_t u64() { return u32() | static_cast<uint64_t>(u32()) << 32; }
  size_t left() const { return size_ - at_; }
  // The next n bytes (fewer at the end).
  std::string take(size_t n) {
    n = n < left() ? n : left();
    std::string out(reinterpret_cast<const char*>(data_ + at_), n);
    at_ += n;
    return out;
  }
  // Everything not read yet; c_str() of it ends at its first zero byte, as a
  // C caller's text would.
  std::string rest() { return take(left()); }
  // Bytes up to the next zero byte (consumed) or the end.
  std::string until_zero() {
    std::string out;
    while (at_ < size_ && data_[at_] != 0) out.push_back(static_cast<char>(data_[at_++]));
    if (at_ < size_) ++at_;
    return out;
  }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t at_ = 0;
};

// Owners of what the library hands back.
using korvi::testing::take_text;
using korvi::testing::Text;
using korvi::testing::Tree;

inline bool is_lower_hex(std::string_view s) {
  for (char c : s) {
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
  }
  return true;
}

// The code points of a text, or nullopt when it is not valid UTF-8.
inline std::optional<std::vector<int32_t>> codepoints(const char* text) {
  korvi::testing::Freed<int32_t> decoded(utf8_decode(text));
  if (!decoded) return std::nullopt;
  return std::vector<int32_t>(decoded.get(), decoded.get() + unicode_length(decoded.get()));
}

}  // namespace korvi::fuzz
