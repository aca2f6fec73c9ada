// C exports of the JSON module. Out of memory becomes a NULL result; misuse
// and NULL arguments are ignored.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "base/boundary.h"
#include "json/json_internal.h"
#include "korvi/json.h"

using korvi::base::guarded;
namespace json = korvi::json;

extern "C" {

KORVI_API JsonNode* json_mknull(void) noexcept { return json::new_node(JSON_NULL); }

KORVI_API JsonNode* json_mkbool(bool b) noexcept {
  JsonNode* node = json::new_node(JSON_BOOL);
  if (node != nullptr) node->bool_ = b;
  return node;
}

KORVI_API JsonNode* json_mkstring(const char* s) noexcept {
  JsonNode* node = json::new_node(JSON_STRING);
  if (node == nullptr) return nullptr;
  node->string_ = korvi::base::to_c_string(s != nullptr ? s : "");
  if (node->string_ == nullptr) {
    std::free(node);
    return nullptr;
  }
  return node;
}

KORVI_API JsonNode* json_mknumber(double x) noexcept {
  JsonNode* node = json::new_node(JSON_NUMBER);
  if (node != nullptr) node->number_ = x;
  return node;
}

KORVI_API JsonNode* json_mkarray(void) noexcept { return json::new_node(JSON_ARRAY); }

KORVI_API JsonNode* json_mkobject(void) noexcept { return json::new_node(JSON_OBJECT); }

KORVI_API void json_append_element(JsonNode* array, JsonNode* element) noexcept {
  json::attach(array, element, JSON_ARRAY, nullptr, true);
}

KORVI_API void json_prepend_element(JsonNode* array, JsonNode* element) noexcept {
  json::attach(array, element, JSON_ARRAY, nullptr, false);
}

KORVI_API void json_append_member(JsonNode* object, const char* key, JsonNode* value) noexcept {
  json::attach(object, value, JSON_OBJECT, key, true);
}

KORVI_API void json_prepend_member(JsonNode* object, const char* key, JsonNode* value) noexcept {
  json::attach(object, value, JSON_OBJECT, key, false);
}

KORVI_API void json_remove_from_parent(JsonNode* node) noexcept { json::detach(node); }

KORVI_API void json_delete(JsonNode* node) noexcept { json::delete_tree(node); }

KORVI_API JsonNode* json_find_element(JsonNode* array, int index) noexcept {
  if (array == nullptr || json::raw_tag(array) != JSON_ARRAY || index < 0) return nullptr;
  JsonNode* element = array->head;
  for (; element != nullptr && index > 0; --index) element = element->next;
  return element;
}

KORVI_API JsonNode* json_find_member(JsonNode* object, const char* key) noexcept {
  if (object == nullptr || key == nullptr || json::raw_tag(object) != JSON_OBJECT) return nullptr;
  for (JsonNode* member = object->head; member != nullptr; member = member->next) {
    if (member->key != nullptr && std::strcmp(member->key, key) == 0) return member;
  }
  return nullptr;
}

KORVI_API JsonNode* json_first_child(const JsonNode* node) noexcept {
  if (node == nullptr || !json::is_container(node)) return nullptr;
  return node->head;
}

KORVI_API char* json_encode(const JsonNode* node) noexcept { return json_stringify(node, nullptr); }

KORVI_API char* json_encode_string(const char* s) noexcept {
  if (s == nullptr) return nullptr;
  return guarded(
      [&]() -> char* {
        json::Buffer out;
        json::write_string(out, s);
        return out.release();
      },
      static_cast<char*>(nullptr));
}

KORVI_API char* json_stringify(const JsonNode* node, const char* space) noexcept {
  if (node == nullptr) return nullptr;
  return guarded(
      [&]() -> char* {
        json::Buffer out;
        json::write_tree(out, node, space);
        return out.release();
      },
      static_cast<char*>(nullptr));
}

KORVI_API JsonNode* json_decode(const char* text) noexcept {
  if (text == nullptr) return nullptr;
  return guarded([&]() -> JsonNode* { return json::decode(text).release(); },
                 static_cast<JsonNode*>(nullptr));
}

KORVI_API bool json_validate(const char* text) noexcept {
  if (text == nullptr) return false;
  return guarded([&] { return json::validate(text); }, false);
}

KORVI_API bool json_check(const JsonNode* node, char errmsg[256]) noexcept {
  try {
    return json::check(node, errmsg);
  } catch (...) {
    // The walk's stack could not grow: nothing is proven consistent.
    if (errmsg != nullptr) std::snprintf(errmsg, 256, "%s", "out of memory");
    return false;
  }
}

}  // extern "C"
