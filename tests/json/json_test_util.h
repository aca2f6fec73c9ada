// Owners for what the JSON exports hand back, so failing tests leak nothing.
#pragma once

#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>

#include "korvi/json.h"
#include "owners.h"

namespace korvi::json::testing {

using korvi::testing::Tree;

// Takes ownership of a malloc'd text; nullopt for NULL.
inline std::optional<std::string> take(char* text) { return korvi::testing::take_text(text); }

inline std::optional<std::string> encode(const JsonNode* node) { return take(json_encode(node)); }

// Compact text of the tree decoded from text, or nullopt when it is rejected.
inline std::optional<std::string> reencode(const std::string& text) {
  Tree tree(json_decode(text.c_str()));
  if (!tree) return std::nullopt;
  return encode(tree.get());
}

// Stores a tag value the enum cannot name, as a broken caller would.
inline void set_raw_tag(JsonNode* node, unsigned tag) { std::memcpy(&node->tag, &tag, sizeof tag); }

}  // namespace korvi::json::testing
