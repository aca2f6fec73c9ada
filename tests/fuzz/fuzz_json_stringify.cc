// json_stringify() and json_encode() over trees built by hand, as callers
// build them: any bytes in strings and keys (ill-formed UTF-8 included), any
// double (NaN, infinities, subnormals), prepending, detaching, any depth.
//
// Input: one byte choosing the indentation, then a program of one-byte
// operations (see build()). Every tree must write as valid JSON that decodes
// to a tree writing the same text; indented text must decode to that tree.
#include "fuzz/fuzz_util.h"

namespace {

using korvi::fuzz::Input;

// NULL, white space of several kinds, and two that are not white space.
const char* const kSpaces[] = {nullptr, "", " ", "\t", "  ", "\n", "ab", "\xFF"};
constexpr int kWhiteSpaces = 6;  // the first six give JSON text

std::string short_text(Input& input) { return input.take(input.byte() % 24); }

// Runs the program; returns the root (or nullptr when it made none).
JsonNode* build(Input& input) {
  JsonNode* root = nullptr;
  std::vector<JsonNode*> open;  // containers being filled, innermost last
  bool prepend = false;
  std::string key;

  // Files a new node under the innermost open container, or as the root.
  auto place = [&](JsonNode* node) -> bool {
    FUZZ_CHECK(node != nullptr);
    if (root == nullptr) {
      root = node;
      return true;
    }
    if (open.empty()) {
      json_delete(node);
      return false;
    }
    JsonNode* container = open.back();
    if (container->tag == JSON_OBJECT) {
      (prepend ? json_prepend_member : json_append_member)(container, key.c_str(), node);
    } else {
      (prepend ? json_prepend_element : json_append_element)(container, node);
    }
    FUZZ_CHECK(node->parent == container);
    return true;
  };

  while (input.left() > 0) {
    const uint8_t op = input.byte();
    switch (op % 12) {
      case 0: place(json_mknull()); break;
      case 1: place(json_mkbool((op & 0x80) != 0)); break;
      case 2: {
        const uint64_t bits = input.u64();
        double x;
        std::memcpy(&x, &bits, sizeof x);
        place(json_mknumber(x));
        break;
      }
      case 3: place(json_mknumber(static_cast<int8_t>(input.byte()) / 4.0)); break;
      case 4: place(json_mkstring(short_text(input).c_str())); break;
      case 5:
      case 6: {
        JsonNode* container = op % 12 == 5 ? json_mkarray() : json_mkobject();
        if (place(container)) open.push_back(container);
        break;
      }
      case 7:
        if (!open.empty()) open.pop_back();
        break;
      case 8: prepend = !prepend; break;
      case 9:  // detach the first child of the innermost container and drop it
        if (!open.empty()) {
          JsonNode* child = json_first_child(open.back());
          if (child != nullptr && (child->tag != JSON_ARRAY && child->tag != JSON_OBJECT)) {
            json_remove_from_parent(child);
            FUZZ_CHECK(child->parent == nullptr && child->key == nullptr);
            json_delete(child);
          }
        }
        break;
      case 10:  // move an element of an array to its end
        if (!open.empty() && open.back()->tag == JSON_ARRAY) {
          JsonNode* child = json_find_element(open.back(), input.byte());
          if (child != nullptr && child->tag != JSON_ARRAY && child->tag != JSON_OBJECT) {
            json_remove_from_parent(child);
            json_append_element(open.back(), child);
          }
        }
        break;
      case 11:
        key = short_text(input);
        if (!open.empty()) (void)json_find_member(open.back(), key.c_str());
        break;
    }
  }
  return root;
}

// Whether every string and member name in the tree is well-formed UTF-8
// (json_check() demands it; the writers repair what is not).
bool all_text_valid(const JsonNode* root) {
  std::vector<const JsonNode*> work{root};
  while (!work.empty()) {
    const JsonNode* node = work.back();
    work.pop_back();
    if (node->key != nullptr && !korvi::fuzz::codepoints(node->key)) return false;
    if (node->tag == JSON_STRING && !korvi::fuzz::codepoints(node->string_)) return false;
    if (node->tag == JSON_ARRAY || node->tag == JSON_OBJECT) {
      for (const JsonNode* child = node->head; child != nullptr; child = child->next) work.push_back(child);
    }
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Input input(data, size);
  const int space_choice = input.byte() % 8;
  const char* space = kSpaces[space_choice];
  const korvi::fuzz::Tree root(build(input));
  if (!root) {
    FUZZ_CHECK(json_encode(nullptr) == nullptr && json_stringify(nullptr, space) == nullptr);
    return 0;
  }
  char message[256];
  FUZZ_CHECK(json_check(root.get(), message) == all_text_valid(root.get()));

  const auto compact = korvi::fuzz::take_text(json_encode(root.get()));
  FUZZ_CHECK(compact && json_validate(compact->c_str()));
  FUZZ_CHECK(korvi::fuzz::take_text(json_stringify(root.get(), nullptr)) == compact);
  const korvi::fuzz::Tree decoded(json_decode(compact->c_str()));
  FUZZ_CHECK(decoded != nullptr);
  FUZZ_CHECK(korvi::fuzz::take_text(json_encode(decoded.get())) == compact);

  const auto indented = korvi::fuzz::take_text(json_stringify(root.get(), space));
  FUZZ_CHECK(indented.has_value());
  if (space_choice < kWhiteSpaces) {
    const korvi::fuzz::Tree reread(json_decode(indented->c_str()));
    FUZZ_CHECK(reread != nullptr);
    FUZZ_CHECK(korvi::fuzz::take_text(json_encode(reread.get())) == compact);
  }
  return 0;
}
