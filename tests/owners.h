// Owners of what the library hands back, so that a failing test or fuzz
// target leaks nothing: one per release function of common.h (2).
#pragma once

#include <cstdlib>
#include <memory>
#include <optional>
#include <string>

#include "korvi/json.h"
#include "korvi/pipeline.h"

namespace korvi::testing {

struct FreeDeleter {
  void operator()(void* p) const noexcept { std::free(p); }
};
template <class T>
using Freed = std::unique_ptr<T, FreeDeleter>;
using Text = Freed<char>;

struct TreeDeleter {
  void operator()(JsonNode* node) const noexcept { json_delete(node); }
};
using Tree = std::unique_ptr<JsonNode, TreeDeleter>;

struct SetDeleter {
  void operator()(ShingleSet* set) const noexcept { free_shingles(set); }
};
using Set = std::unique_ptr<ShingleSet, SetDeleter>;

// Takes ownership of a malloc'd text; nullopt for NULL.
inline std::optional<std::string> take_text(char* text) {
  if (text == nullptr) return std::nullopt;
  std::string copy(text);
  std::free(text);
  return copy;
}

}  // namespace korvi::testing
