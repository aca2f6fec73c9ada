// Helpers for the C boundary: results that cross it are malloc'd (callers
// release them with free), and no exception may escape an export.
#pragma once

#include <cstdlib>
#include <cstring>
#include <new>
#include <string_view>
#include <utility>

namespace korvi::base {

// A malloc'd zero-terminated copy of text, or nullptr when memory runs out.
inline char* to_c_string(std::string_view text) noexcept {
  char* copy = static_cast<char*>(std::malloc(text.size() + 1));
  if (copy == nullptr) return nullptr;
  if (!text.empty()) std::memcpy(copy, text.data(), text.size());
  copy[text.size()] = '\0';
  return copy;
}

// Runs body and returns its result; any exception (in practice bad_alloc)
// becomes fallback, so nothing unwinds into C callers.
template <class Body, class Result>
Result guarded(Body&& body, Result fallback) noexcept {
  try {
    return std::forward<Body>(body)();
  } catch (...) {
    return fallback;
  }
}

template <class Body>
void guarded_void(Body&& body) noexcept {
  try {
    std::forward<Body>(body)();
  } catch (...) {
  }
}

}  // namespace korvi::base
