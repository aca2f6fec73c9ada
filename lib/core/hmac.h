// HMAC-SHA512 (RFC 2104) over many short messages at once: the key's inner
// and outer blocks are absorbed once, so each message that fits one block
// costs two one-block compressions through the multi-buffer kernels.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace korvi::core {

inline constexpr size_t kHmacSha512Bytes = 64;

class HmacSha512 {
 public:
  // A key of any length (hashed first when longer than a block).
  explicit HmacSha512(std::string_view key) noexcept;
  ~HmacSha512();
  HmacSha512(const HmacSha512&) = delete;
  HmacSha512& operator=(const HmacSha512&) = delete;

  // MACs of count messages, message i being prefixes[i] followed by suffix;
  // digests receives count * 64 bytes. Through the kernel chosen for the
  // process, or through a named one (false when it is not available).
  void batch(const std::string_view* prefixes, size_t count, std::string_view suffix,
             uint8_t* digests) const noexcept;
  bool batch_with(std::string_view kernel, const std::string_view* prefixes, size_t count,
                  std::string_view suffix, uint8_t* digests) const noexcept;
  void mac(std::string_view message, uint8_t* digest) const noexcept {
    batch(&message, 1, {}, digest);
  }

 private:
  // Chaining states after the key block xor ipad and xor opad: as secret as
  // the key itself, wiped on destruction.
  uint64_t inner_[8];
  uint64_t outer_[8];
};

}  // namespace korvi::core
