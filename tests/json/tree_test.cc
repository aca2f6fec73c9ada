// Building, linking, finding and freeing nodes through the C interface.
#include <gtest/gtest.h>

#include <cstring>

#include "json/json_test_util.h"

namespace korvi::json::testing {
namespace {

TEST(JsonTree, EnvelopeShapeKeepsInsertionOrderWithoutSpaces) {
  Tree root(json_mkobject());
  json_append_member(root.get(), "success", json_mkbool(true));
  JsonNode* data = json_mkobject();
  json_append_member(data, "fingerprints", json_mkarray());
  json_append_member(root.get(), "data", data);
  EXPECT_EQ(encode(root.get()), R"({"success":true,"data":{"fingerprints":[]}})");
  EXPECT_TRUE(json_check(root.get(), nullptr));
}

TEST(JsonTree, PrependPutsBeforeEverythingEarlier) {
  Tree object(json_mkobject());
  json_append_member(object.get(), "a", json_mknumber(1));
  json_append_member(object.get(), "b", json_mknumber(2));
  json_prepend_member(object.get(), "c", json_mknumber(3));
  EXPECT_EQ(encode(object.get()), R"({"c":3,"a":1,"b":2})");

  Tree array(json_mkarray());
  json_prepend_element(array.get(), json_mknumber(1));  // into an empty array
  json_append_element(array.get(), json_mknumber(2));
  json_prepend_element(array.get(), json_mknull());
  EXPECT_EQ(encode(array.get()), "[null,1,2]");
  EXPECT_TRUE(json_check(array.get(), nullptr));
  EXPECT_TRUE(json_check(object.get(), nullptr));
}

TEST(JsonTree, Finders) {
  Tree object(json_mkobject());
  JsonNode* first = json_mknumber(1);
  json_append_member(object.get(), "k", first);
  json_append_member(object.get(), "k", json_mknumber(2));
  json_append_member(object.get(), "other", json_mknull());
  EXPECT_EQ(json_find_member(object.get(), "k"), first);
  EXPECT_EQ(json_find_member(object.get(), "K"), nullptr);
  EXPECT_EQ(json_find_member(object.get(), "kk"), nullptr);
  EXPECT_EQ(json_find_member(object.get(), nullptr), nullptr);
  EXPECT_EQ(json_find_element(object.get(), 0), nullptr);  // not an array

  Tree array(json_mkarray());
  JsonNode* elements[3] = {json_mknull(), json_mkbool(false), json_mkstring("x")};
  for (JsonNode* element : elements) json_append_element(array.get(), element);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(json_find_element(array.get(), i), elements[i]);
  EXPECT_EQ(json_find_element(array.get(), -1), nullptr);
  EXPECT_EQ(json_find_element(array.get(), 3), nullptr);
  EXPECT_EQ(json_find_element(array.get(), INT32_MIN), nullptr);
  EXPECT_EQ(json_find_member(array.get(), "k"), nullptr);  // not an object

  EXPECT_EQ(json_first_child(array.get()), elements[0]);
  EXPECT_EQ(json_first_child(elements[2]), nullptr);
  Tree empty(json_mkobject());
  EXPECT_EQ(json_first_child(empty.get()), nullptr);
}

TEST(JsonTree, RemoveFromParentRelinksNeighboursAndDropsKey) {
  struct Case {
    int removed;
    const char* rest;
  } cases[] = {{0, R"({"b":2,"c":3})"}, {1, R"({"a":1,"c":3})"}, {2, R"({"a":1,"b":2})"}};
  for (const Case& c : cases) {
    Tree object(json_mkobject());
    JsonNode* members[3] = {json_mknumber(1), json_mknumber(2), json_mknumber(3)};
    const char* keys[3] = {"a", "b", "c"};
    for (int i = 0; i < 3; ++i) json_append_member(object.get(), keys[i], members[i]);
    Tree removed(members[c.removed]);
    json_remove_from_parent(removed.get());
    EXPECT_EQ(encode(object.get()), c.rest) << c.removed;
    EXPECT_TRUE(json_check(object.get(), nullptr)) << c.removed;
    EXPECT_EQ(removed->parent, nullptr);
    EXPECT_EQ(removed->prev, nullptr);
    EXPECT_EQ(removed->next, nullptr);
    EXPECT_EQ(removed->key, nullptr);
    // Ownership is back: it can go elsewhere under a new key.
    Tree other(json_mkobject());
    json_append_member(other.get(), "z", removed.release());
    EXPECT_EQ(encode(other.get()), R"({"z":)" + std::to_string(c.removed + 1) + "}");
  }
  // Removing the only child empties the container; removing a root is harmless.
  Tree array(json_mkarray());
  JsonNode* only = json_mknull();
  json_append_element(array.get(), only);
  json_remove_from_parent(only);
  EXPECT_EQ(array->head, nullptr);
  EXPECT_EQ(array->tail, nullptr);
  json_remove_from_parent(array.get());
  json_remove_from_parent(nullptr);
  json_delete(only);
  EXPECT_EQ(encode(array.get()), "[]");
}

TEST(JsonTree, DeletingAnAttachedChildLeavesParentValid) {
  Tree array(json_mkarray());
  JsonNode* middle = json_mkarray();
  json_append_element(middle, json_mkstring("gone"));
  json_append_element(array.get(), json_mknumber(1));
  json_append_element(array.get(), middle);
  json_append_element(array.get(), json_mknumber(3));
  json_delete(middle);
  EXPECT_EQ(encode(array.get()), "[1,3]");
  EXPECT_TRUE(json_check(array.get(), nullptr));
  JsonNode* last = array->tail;
  json_delete(last);
  EXPECT_EQ(encode(array.get()), "[1]");
  EXPECT_EQ(array->head, array->tail);
  json_delete(nullptr);
}

TEST(JsonTree, MisuseIsIgnored) {
  Tree array(json_mkarray());
  Tree object(json_mkobject());
  Tree scalar(json_mknumber(7));
  JsonNode* element = json_mknull();
  json_append_element(array.get(), element);

  // Each attempt must leave both trees and the loose node as they were.
  Tree loose(json_mkbool(true));
  json_append_element(object.get(), loose.get());       // wrong kind of container
  json_prepend_element(scalar.get(), loose.get());      // not a container
  json_append_member(array.get(), "k", loose.get());    // wrong kind of container
  json_prepend_member(scalar.get(), "k", loose.get());  // not a container
  json_append_element(object.get(), element);           // already has a parent
  json_append_element(array.get(), element);
  json_append_member(object.get(), "k", element);
  json_append_element(array.get(), array.get());  // itself
  json_append_element(array.get(), nullptr);
  json_append_element(nullptr, loose.get());
  json_append_member(object.get(), "k", nullptr);
  json_prepend_member(nullptr, "k", loose.get());

  EXPECT_EQ(loose->parent, nullptr);
  EXPECT_EQ(loose->key, nullptr);
  EXPECT_EQ(encode(array.get()), "[null]");
  EXPECT_EQ(encode(object.get()), "{}");
  EXPECT_EQ(encode(scalar.get()), "7");
  EXPECT_TRUE(json_check(array.get(), nullptr));
}

TEST(JsonTree, AttachingAnAncestorIsIgnored) {
  Tree root(json_mkarray());
  JsonNode* child = json_mkobject();
  JsonNode* grandchild = json_mkarray();
  json_append_element(root.get(), child);
  json_append_member(child, "g", grandchild);
  json_append_element(grandchild, root.get());  // would close a cycle
  json_prepend_member(child, "r", root.get());
  EXPECT_EQ(root->parent, nullptr);
  EXPECT_EQ(encode(root.get()), R"([{"g":[]}])");
  EXPECT_TRUE(json_check(root.get(), nullptr));
}

TEST(JsonTree, NullArgumentsAreAbsent) {
  Tree text(json_mkstring(nullptr));
  ASSERT_TRUE(text);
  EXPECT_EQ(encode(text.get()), "\"\"");

  Tree object(json_mkobject());
  json_append_member(object.get(), nullptr, json_mknumber(1));
  json_prepend_member(object.get(), nullptr, json_mknumber(0));
  EXPECT_EQ(encode(object.get()), R"({"":0,"":1})");
  EXPECT_EQ(json_find_member(object.get(), "")->number_, 0);

  EXPECT_EQ(json_encode(nullptr), nullptr);
  EXPECT_EQ(json_stringify(nullptr, "  "), nullptr);
  EXPECT_EQ(json_encode_string(nullptr), nullptr);
  EXPECT_EQ(json_decode(nullptr), nullptr);
  EXPECT_FALSE(json_validate(nullptr));
  EXPECT_EQ(json_find_element(nullptr, 0), nullptr);
  EXPECT_EQ(json_find_member(nullptr, "a"), nullptr);
  EXPECT_EQ(json_first_child(nullptr), nullptr);
  char message[256] = "untouched";
  EXPECT_TRUE(json_check(nullptr, message));
  EXPECT_STREQ(message, "untouched");
}

// A chain of a million arrays, built bottom-up through the interface, is
// written and freed without recursion.
TEST(JsonTree, MillionDeepBuiltByHand) {
  constexpr int kDepth = 1'000'000;
  JsonNode* inner = json_mkarray();
  for (int i = 1; i < kDepth; ++i) {
    JsonNode* outer = json_mkarray();
    json_append_element(outer, inner);
    inner = outer;
  }
  Tree root(inner);
  auto text = encode(root.get());
  ASSERT_TRUE(text);
  EXPECT_EQ(*text, std::string(kDepth, '[') + std::string(kDepth, ']'));
  EXPECT_TRUE(json_check(root.get(), nullptr));
  root.reset();  // json_delete of the whole chain
}

}  // namespace
}  // namespace korvi::json::testing
