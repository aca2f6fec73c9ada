// Node lifetime and linking. Every node and string is malloc'd so that
// callers may free or replace keys and strings by hand.
#include <cstdlib>
#include <cstring>

#include "json/json_internal.h"

namespace korvi::json {

JsonNode* new_node(JsonTag tag) noexcept {
  auto* node = static_cast<JsonNode*>(std::calloc(1, sizeof(JsonNode)));
  if (node != nullptr) node->tag = tag;
  return node;
}

void detach(JsonNode* node) noexcept {
  if (node == nullptr || node->parent == nullptr) return;
  JsonNode* parent = node->parent;
  if (node->prev != nullptr) {
    node->prev->next = node->next;
  } else {
    parent->head = node->next;
  }
  if (node->next != nullptr) {
    node->next->prev = node->prev;
  } else {
    parent->tail = node->prev;
  }
  std::free(node->key);
  node->key = nullptr;
  node->parent = node->prev = node->next = nullptr;
}

void delete_tree(JsonNode* node) noexcept {
  if (node == nullptr) return;
  detach(node);
  node->next = nullptr;
  // Pending nodes form one list through their next links: a container's
  // children are spliced in front of it before the container goes.
  JsonNode* pending = node;
  while (pending != nullptr) {
    JsonNode* current = pending;
    pending = current->next;
    unsigned tag = raw_tag(current);
    if (is_container(current)) {
      if (current->head != nullptr) {
        JsonNode* last = current->head;
        while (last->next != nullptr) last = last->next;
        last->next = pending;
        pending = current->head;
      }
    } else if (tag == JSON_STRING) {
      std::free(current->string_);
    }
    std::free(current->key);
    std::free(current);
  }
}

void link_last(JsonNode* container, JsonNode* child) noexcept {
  child->parent = container;
  child->next = nullptr;
  child->prev = container->tail;
  if (container->tail != nullptr) {
    container->tail->next = child;
  } else {
    container->head = child;
  }
  container->tail = child;
}

namespace {

void link_first(JsonNode* container, JsonNode* child) noexcept {
  child->parent = container;
  child->prev = nullptr;
  child->next = container->head;
  if (container->head != nullptr) {
    container->head->prev = child;
  } else {
    container->tail = child;
  }
  container->head = child;
}

}  // namespace

void attach(JsonNode* container, JsonNode* child, JsonTag container_tag, const char* key,
            bool at_end) noexcept {
  if (container == nullptr || child == nullptr) return;
  if (raw_tag(container) != static_cast<unsigned>(container_tag)) return;
  if (child->parent != nullptr || child == container) return;
  // Attaching the root of the container's own tree would close a cycle.
  for (const JsonNode* above = container->parent; above != nullptr; above = above->parent) {
    if (above == child) return;
  }
  if (container_tag == JSON_OBJECT) {
    if (key == nullptr) key = "";
    size_t size = std::strlen(key) + 1;
    auto* copy = static_cast<char*>(std::malloc(size));
    if (copy == nullptr) return;
    std::memcpy(copy, key, size);
    std::free(child->key);
    child->key = copy;
  }
  if (at_end) {
    link_last(container, child);
  } else {
    link_first(container, child);
  }
}

}  // namespace korvi::json
