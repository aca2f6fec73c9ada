#include "expr/json_tree.h"

#include <cstdlib>
#include <memory>
#include <vector>

#include "core/fingerprints.h"
#include "korvi/common.h"

namespace korvi::expr {
namespace {

// Nodes not yet attached to a tree; deleted unless released.
class PendingNodes {
 public:
  PendingNodes() = default;
  PendingNodes(const PendingNodes&) = delete;
  PendingNodes& operator=(const PendingNodes&) = delete;
  ~PendingNodes() {
    for (JsonNode* node : nodes_) json_delete(node);
  }

  void push(JsonNode* node) {
    try {
      nodes_.push_back(node);
    } catch (...) {
      json_delete(node);
      throw;
    }
  }
  JsonNode* pop() noexcept {
    JsonNode* node = nodes_.back();
    nodes_.pop_back();
    return node;
  }
  bool empty() const noexcept { return nodes_.empty(); }
  void reserve(size_t n) { nodes_.reserve(n); }

 private:
  std::vector<JsonNode*> nodes_;
};

}  // namespace

JsonNode* make_operator(const char* name, JsonNode* left, JsonNode* right) noexcept {
  JsonNode* operands = json_mkarray();
  JsonNode* name_node = json_mkstring(name);
  JsonNode* object = json_mkobject();
  if (operands == nullptr || name_node == nullptr || object == nullptr) {
    for (JsonNode* node : {operands, name_node, object, left, right}) json_delete(node);
    return nullptr;
  }
  json_append_element(operands, left);
  json_append_element(operands, right);
  // A member whose key cannot be copied stays unattached.
  json_append_member(object, "operator", name_node);
  json_append_member(object, "operands", operands);
  if (name_node->parent != object || operands->parent != object) {
    if (name_node->parent != object) json_delete(name_node);
    if (operands->parent != object) json_delete(operands);
    json_delete(object);
    return nullptr;
  }
  return object;
}

JsonNode* to_json_tree(const Expression& expression) {
  // Postfix order: operands are pushed, each operator takes the two nodes
  // on top.
  PendingNodes pending;
  pending.reserve(8);
  std::string operand;
  for (const Node& node : expression.nodes) {
    if (node.op() == Op::kOperand) {
      operand.assign(expression.operand_text(node));
      JsonNode* string_node = json_mkstring(operand.c_str());
      if (string_node == nullptr) return nullptr;
      pending.push(string_node);
      continue;
    }
    JsonNode* right = pending.pop();
    JsonNode* left = pending.pop();
    const std::string name(operator_name(node.op()));
    JsonNode* object = make_operator(name.c_str(), left, right);
    if (object == nullptr) return nullptr;
    pending.push(object);
  }
  return pending.pop();
}

void fingerprint_operand(JsonNode* node, int clean_mode, uint32_t flags, int32_t& status) {
  if (node == nullptr || node->tag != JSON_STRING) return;
  // The node becomes an empty array in place: parent, neighbours and key
  // stay, so it keeps its position.
  const std::unique_ptr<char, decltype(&std::free)> text(node->string_, &std::free);
  node->tag = JSON_ARRAY;
  node->head = nullptr;
  node->tail = nullptr;

  // After a failure nothing more is hashed: the whole answer is an error.
  core::Fingerprints fingerprints;
  const bool hashed =
      status == STATUS_OK && core::fingerprint_text(text == nullptr ? "" : text.get(), clean_mode,
                                                    flags, fingerprints) == STATUS_OK;
  if (!hashed) {
    status = STATUS_BAD_UTF8;
    return;
  }
  char hex[KORVI_FINGERPRINT_DIGITS + 1];
  for (size_t i = 0; i < fingerprints.size(); ++i) {
    fingerprints.hex(i, hex);
    JsonNode* element = json_mkstring(hex);
    if (element == nullptr) {
      status = STATUS_BAD_UTF8;
      return;
    }
    json_append_element(node, element);
  }
}

void fingerprint_operands(JsonNode* node, int clean_mode, uint32_t flags, int32_t& status) {
  if (node == nullptr) return;
  // Depth first, left before right: operands are met in the order of the
  // expression's text.
  std::vector<JsonNode*> work{node};
  while (!work.empty()) {
    JsonNode* current = work.back();
    work.pop_back();
    switch (current->tag) {
      case JSON_STRING: fingerprint_operand(current, clean_mode, flags, status); break;
      case JSON_OBJECT:
        if (JsonNode* operands = json_find_member(current, "operands")) work.push_back(operands);
        break;
      case JSON_ARRAY:
        // Elements that are arrays themselves are not operands.
        for (JsonNode* child = current->tail; child != nullptr; child = child->prev) {
          if (child->tag == JSON_STRING || child->tag == JSON_OBJECT) work.push_back(child);
        }
        break;
      default: break;
    }
  }
}

}  // namespace korvi::expr
