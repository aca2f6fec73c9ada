// The structural check: each fault a hand-edited tree can have is reported
// with its own message, first fault first.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>

#include "json/json_test_util.h"

namespace korvi::json::testing {
namespace {

// A malloc'd copy, as the tree expects for keys and strings.
char* owned(const char* text) {
  char* copy = static_cast<char*>(std::malloc(std::strlen(text) + 1));
  std::strcpy(copy, text);
  return copy;
}

// {"a":[1,"s",true],"o":{"k":null}} with handles on its parts.
struct Sample {
  Tree root{json_decode(R"({"a":[1,"s",true],"o":{"k":null}})")};
  JsonNode* array = json_find_member(root.get(), "a");
  JsonNode* one = json_find_element(array, 0);
  JsonNode* text = json_find_element(array, 1);
  JsonNode* flag = json_find_element(array, 2);
  JsonNode* object = json_find_member(root.get(), "o");
  JsonNode* member = json_first_child(object);
};

std::string message_of(const JsonNode* node) {
  char message[256];
  std::memset(message, 'X', sizeof message);
  if (json_check(node, message)) return "consistent";
  EXPECT_NE(std::memchr(message, '\0', sizeof message), nullptr);
  return message;
}

TEST(JsonCheck, TreesFromTheInterfaceAreConsistent) {
  Sample sample;
  ASSERT_TRUE(sample.root);
  EXPECT_EQ(message_of(sample.root.get()), "consistent");
  EXPECT_EQ(message_of(sample.array), "consistent");  // a subtree alone
  Tree empty(json_mkarray());
  EXPECT_TRUE(json_check(empty.get(), nullptr));
}

TEST(JsonCheck, ReportsEachFault) {
  struct Case {
    const char* expected;
    std::function<void(Sample&)> spoil;
    std::function<void(Sample&)> mend;  // so that the tree frees cleanly
  } cases[] = {
      {"key contains invalid UTF-8", [](Sample& s) { s.member->key[0] = '\xC0'; },
       [](Sample& s) { s.member->key[0] = 'k'; }},
      {"tag is invalid (6)", [](Sample& s) { set_raw_tag(s.one, 6); },
       [](Sample& s) { set_raw_tag(s.one, JSON_NUMBER); }},
      {"tag is invalid (4294967295)", [](Sample& s) { set_raw_tag(s.one, 0xFFFFFFFFu); },
       [](Sample& s) { set_raw_tag(s.one, JSON_NUMBER); }},
      {"bool_ is neither false (0) nor true (1)",
       [](Sample& s) {
         unsigned char two = 2;
         std::memcpy(&s.flag->bool_, &two, 1);
       },
       [](Sample& s) { s.flag->bool_ = true; }},
      {"string_ is NULL",
       [](Sample& s) {
         std::free(s.text->string_);
         s.text->string_ = nullptr;
       },
       [](Sample& s) { s.text->string_ = owned("s"); }},
      {"string_ contains invalid UTF-8",
       [](Sample& s) {
         std::free(s.text->string_);
         s.text->string_ = owned("\xED\xA0\x80");
       },
       [](Sample&) {}},
      {"tail is NULL, but head is not", [](Sample& s) { s.array->tail = nullptr; },
       [](Sample& s) { s.array->tail = s.flag; }},
      {"head is NULL, but tail is not", [](Sample& s) { s.array->head = nullptr; },
       [](Sample& s) { s.array->head = s.one; }},
      {"First child's prev pointer is not NULL", [](Sample& s) { s.one->prev = s.flag; },
       [](Sample& s) { s.one->prev = nullptr; }},
      {"node is its own child", [](Sample& s) { s.array->head = s.array->tail = s.array; },
       [](Sample& s) {
         s.array->head = s.one;
         s.array->tail = s.flag;
       }},
      {"child->next == child (cycle)", [](Sample& s) { s.text->next = s.text; },
       [](Sample& s) { s.text->next = s.flag; }},
      {"child->next == head (cycle)", [](Sample& s) { s.flag->next = s.one; },
       [](Sample& s) { s.flag->next = nullptr; }},
      {"child does not point back to parent", [](Sample& s) { s.text->parent = s.root.get(); },
       [](Sample& s) { s.text->parent = s.array; }},
      {"child->next does not point back to child", [](Sample& s) { s.flag->prev = s.one; },
       [](Sample& s) { s.flag->prev = s.text; }},
      {"Array element's key is not NULL", [](Sample& s) { s.text->key = owned("k"); },
       [](Sample&) {}},
      {"Object member's key is NULL",
       [](Sample& s) {
         std::free(s.member->key);
         s.member->key = nullptr;
       },
       [](Sample& s) { s.member->key = owned("k"); }},
      {"tail does not match pointer found by starting at head and following next links",
       [](Sample& s) { s.array->tail = s.text; }, [](Sample& s) { s.array->tail = s.flag; }},
      // An array member pointing back up at the root: the walk must stop.
      {"node is its own descendant (cycle)",
       [](Sample& s) {
         s.member->next = s.root.get();
         s.root->prev = s.member;
         s.root->parent = s.object;
         s.root->key = owned("up");
         s.object->tail = s.root.get();
       },
       [](Sample& s) {
         s.member->next = nullptr;
         s.root->prev = nullptr;
         s.root->parent = nullptr;
         std::free(s.root->key);
         s.root->key = nullptr;
         s.object->tail = s.member;
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.expected);
    Sample sample;
    ASSERT_TRUE(sample.root);
    c.spoil(sample);
    EXPECT_EQ(message_of(sample.root.get()), c.expected);
    EXPECT_FALSE(json_check(sample.root.get(), nullptr));
    c.mend(sample);
  }
}

TEST(JsonCheck, FirstFaultWins) {
  // A key fault is found before a tag fault of the same node...
  Sample sample;
  sample.member->key[0] = '\xFF';
  set_raw_tag(sample.member, 9);
  EXPECT_EQ(message_of(sample.root.get()), "key contains invalid UTF-8");
  sample.member->key[0] = 'k';
  EXPECT_EQ(message_of(sample.root.get()), "tag is invalid (9)");
  set_raw_tag(sample.member, JSON_NULL);
  // ...and a fault inside an earlier child before a later sibling's.
  set_raw_tag(sample.one, 7);
  std::free(sample.member->key);
  sample.member->key = nullptr;
  EXPECT_EQ(message_of(sample.root.get()), "tag is invalid (7)");
  set_raw_tag(sample.one, JSON_NUMBER);
  EXPECT_EQ(message_of(sample.root.get()), "Object member's key is NULL");
  sample.member->key = owned("k");
  EXPECT_EQ(message_of(sample.root.get()), "consistent");
}

// The case from the interface: a member's key removed by hand.
TEST(JsonCheck, MemberKeyRemovedByHand) {
  Tree object(json_mkobject());
  json_append_member(object.get(), "name", json_mkstring("value"));
  EXPECT_TRUE(json_check(object.get(), nullptr));
  std::free(object->head->key);
  object->head->key = nullptr;
  EXPECT_EQ(message_of(object.get()), "Object member's key is NULL");
}

TEST(JsonCheck, MillionDeep) {
  constexpr size_t kDepth = 1'000'000;
  std::string text = std::string(kDepth, '[') + "\"x\"" + std::string(kDepth, ']');
  Tree tree(json_decode(text.c_str()));
  ASSERT_TRUE(tree);
  EXPECT_TRUE(json_check(tree.get(), nullptr));
  JsonNode* bottom = tree.get();
  while (bottom->tag == JSON_ARRAY) bottom = bottom->head;
  char* saved = bottom->string_;
  bottom->string_ = nullptr;
  EXPECT_EQ(message_of(tree.get()), "string_ is NULL");
  bottom->string_ = saved;
}

}  // namespace
}  // namespace korvi::json::testing
