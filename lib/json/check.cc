// Structural check of a tree built or edited by hand. Walks with an explicit
// stack and stops at the first fault, so even a broken tree cannot make it
// loop or recurse without bound.
#include <cstdio>
#include <vector>

#include "base/utf8.h"
#include "json/json_internal.h"

namespace korvi::json {

namespace {

constexpr size_t kMessageSize = 256;

bool fail(char* errmsg, const char* message) noexcept {
  if (errmsg != nullptr) std::snprintf(errmsg, kMessageSize, "%s", message);
  return false;
}

// The faults a node can have on its own, before its children are visited.
bool check_node(const JsonNode* node, char* errmsg) noexcept {
  if (node->key != nullptr && !base::is_valid_utf8(node->key))
    return fail(errmsg, "key contains invalid UTF-8");
  unsigned tag = raw_tag(node);
  if (tag >= 6) {
    if (errmsg != nullptr) std::snprintf(errmsg, kMessageSize, "tag is invalid (%u)", tag);
    return false;
  }
  if (tag == JSON_BOOL && raw_bool(node) > 1) {
    if (errmsg != nullptr) {
      std::snprintf(errmsg, kMessageSize, "bool_ is neither false (%d) nor true (%d)", 0, 1);
    }
    return false;
  }
  if (tag == JSON_STRING) {
    if (node->string_ == nullptr) return fail(errmsg, "string_ is NULL");
    if (!base::is_valid_utf8(node->string_)) return fail(errmsg, "string_ contains invalid UTF-8");
  }
  if (is_container(node)) {
    if (node->head != nullptr && node->tail == nullptr)
      return fail(errmsg, "tail is NULL, but head is not");
    if (node->head == nullptr && node->tail != nullptr)
      return fail(errmsg, "head is NULL, but tail is not");
    if (node->head != nullptr && node->head->prev != nullptr) {
      return fail(errmsg, "First child's prev pointer is not NULL");
    }
  }
  return true;
}

}  // namespace

bool check(const JsonNode* root, char* errmsg) {
  if (root == nullptr) return true;
  if (!check_node(root, errmsg)) return false;
  struct Frame {
    const JsonNode* node;
    const JsonNode* child;  // next child to check
    const JsonNode* last;   // last child checked
  };
  std::vector<Frame> open;
  if (is_container(root) && root->head != nullptr) open.push_back({root, root->head, nullptr});
  while (!open.empty()) {
    Frame& frame = open.back();
    const JsonNode* node = frame.node;
    const JsonNode* child = frame.child;
    if (child == nullptr) {
      if (frame.last != node->tail) {
        return fail(
            errmsg,
            "tail does not match pointer found by starting at head and following next links");
      }
      open.pop_back();
      continue;
    }
    if (child == node) return fail(errmsg, "node is its own child");
    if (child->next == child) return fail(errmsg, "child->next == child (cycle)");
    if (child->next == node->head) return fail(errmsg, "child->next == head (cycle)");
    if (child->parent != node) return fail(errmsg, "child does not point back to parent");
    if (child->next != nullptr && child->next->prev != child) {
      return fail(errmsg, "child->next does not point back to child");
    }
    if (raw_tag(node) == JSON_ARRAY && child->key != nullptr) {
      return fail(errmsg, "Array element's key is not NULL");
    }
    if (raw_tag(node) == JSON_OBJECT && child->key == nullptr) {
      return fail(errmsg, "Object member's key is NULL");
    }
    // With every parent link on the path confirmed, a path can only come
    // back to where the walk began.
    if (child == root) return fail(errmsg, "node is its own descendant (cycle)");
    frame.last = child;
    frame.child = child->next;
    if (!check_node(child, errmsg)) return false;
    if (is_container(child) && child->head != nullptr)
      open.push_back({child, child->head, nullptr});
  }
  return true;
}

}  // namespace korvi::json
