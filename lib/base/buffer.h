// A malloc'd text grown in place, handed over zero-terminated: the JSON
// writer's output and the many-text fingerprint answer are built in it.
#pragma once

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>
#include <string_view>

namespace korvi::base {

// A malloc'd text under construction; release() hands it over zero-terminated.
// Capacity starts at 16 and doubles, so appending is amortised linear.
class Buffer {
 public:
  Buffer() = default;
  Buffer(const Buffer&) = delete;
  Buffer& operator=(const Buffer&) = delete;
  ~Buffer() { std::free(start_); }

  void reserve(size_t n) {
    if (capacity_ - length_ < n) grow(n);
  }
  void put(char c) {
    reserve(1);
    start_[length_++] = c;
  }
  void put(const void* bytes, size_t n) {
    if (n == 0) return;
    reserve(n);
    std::memcpy(start_ + length_, bytes, n);
    length_ += n;
  }
  void put(std::string_view text) { put(text.data(), text.size()); }

  size_t size() const noexcept { return length_; }
  std::string_view view() const noexcept { return {start_ ? start_ : "", length_}; }

  // Room for n more bytes, which the caller writes and then marks written
  // with commit(the end of what it wrote).
  char* room(size_t n) {
    reserve(n);
    return start_ + length_;
  }
  void commit(const char* end) noexcept { length_ = static_cast<size_t>(end - start_); }

  // The zero-terminated text, now owned by the caller (free()).
  char* release() {
    if (start_ == nullptr) grow(0);
    start_[length_] = '\0';
    char* text = start_;
    start_ = nullptr;
    length_ = capacity_ = 0;
    return text;
  }

 private:
  void grow(size_t n) {
    size_t capacity = capacity_ == 0 ? 16 : capacity_;
    while (capacity - length_ < n) {
      if (capacity > std::numeric_limits<size_t>::max() / 2) throw std::bad_alloc();
      capacity *= 2;
    }
    void* bigger = std::realloc(start_, capacity + 1);
    if (bigger == nullptr) throw std::bad_alloc();
    start_ = static_cast<char*>(bigger);
    capacity_ = capacity;
  }

  char* start_ = nullptr;
  size_t length_ = 0;
  size_t capacity_ = 0;  // one byte beyond it is kept for the terminating zero
};

}  // namespace korvi::base
