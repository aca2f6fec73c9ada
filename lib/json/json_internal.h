// Internals of the JSON module: number routines
// shared by writer and parser (UTF-8 comes from base/utf8.h), and the tree operations behind the C
// exports. Functions that allocate throw std::bad_alloc; the C boundary turns
// that into a NULL result.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string_view>
#include <version>

#include "base/buffer.h"
#include "korvi/json.h"

namespace korvi::json {

// The module's output texts are built in base::Buffer.
using Buffer = base::Buffer;

// ---- numbers ----

inline bool is_digit(char c) noexcept { return c >= '0' && c <= '9'; }

// End of the JSON number starting at p, or nullptr when none starts there.
const char* match_number(const char* p) noexcept;

// The exponent of a matched number whose 'e' or 'E' is at p, before last;
// its size saturates at a billion, which still tells overflow from
// underflow.
long long read_exponent(const char* p, const char* last) noexcept;

// How numbers are converted: with the C++ library's floating-point
// std::to_chars/from_chars, or where a library lacks them (some libc++
// builds) with the C library's snprintf and strtod, kept away from the
// locale's decimal point. Both give the same doubles and the same texts.
enum class NumberCode { charconv, portable };
#if defined(__cpp_lib_to_chars)
inline constexpr NumberCode kNumberCode = NumberCode::charconv;
#else
inline constexpr NumberCode kNumberCode = NumberCode::portable;
#endif

// Converts a matched JSON number independently of the process locale. Values
// beyond the double range become +-infinity, values below it +-0.
double convert_number(const char* first, const char* last,
                      NumberCode code = kNumberCode) noexcept;

// Shortest "%.16g" text of x in the C locale ("%.17g" where that would read
// back as a number written differently), or "null" when that is not a JSON
// number (NaN, infinities). buffer must hold 32 bytes; returns the length.
size_t format_number(double x, char* buffer, NumberCode code = kNumberCode) noexcept;

// The portable conversions: "%.<precision>g" of a finite x as the C locale
// writes it (precision 1 to 17; buffer of 32 bytes, zero-terminated; returns
// the length), and the correctly rounded double of a matched JSON number.
size_t portable_format(double x, int precision, char* buffer) noexcept;
double portable_convert(const char* first, const char* last) noexcept;

// ---- tree ----

// Reads tag and boolean payload as raw storage: callers may have left values
// there that the enum or bool types cannot represent.
inline unsigned raw_tag(const JsonNode* node) noexcept {
  static_assert(sizeof(JsonTag) == sizeof(unsigned));
  unsigned tag;
  std::memcpy(&tag, &node->tag, sizeof tag);
  return tag;
}
inline unsigned char raw_bool(const JsonNode* node) noexcept {
  unsigned char byte;
  std::memcpy(&byte, &node->bool_, 1);
  return byte;
}
inline bool is_container(const JsonNode* node) noexcept {
  unsigned tag = raw_tag(node);
  return tag == JSON_ARRAY || tag == JSON_OBJECT;
}

// A zeroed parentless node, or nullptr when memory runs out.
JsonNode* new_node(JsonTag tag) noexcept;

// Frees a node and everything under it after detaching it from its parent.
// Needs no memory and no recursion, whatever the depth.
void delete_tree(JsonNode* node) noexcept;

struct NodeDeleter {
  void operator()(JsonNode* node) const noexcept { delete_tree(node); }
};
using NodePtr = std::unique_ptr<JsonNode, NodeDeleter>;

// Links a parentless child as last child of a container; no checks.
void link_last(JsonNode* container, JsonNode* child) noexcept;

// The attaching operations; misuse and failure to copy the key leave the
// child untouched and still owned by the caller.
void attach(JsonNode* container, JsonNode* child, JsonTag container_tag, const char* key,
            bool at_end) noexcept;
void detach(JsonNode* node) noexcept;

// ---- text ----

// Appends the JSON string literal of s; ill-formed UTF-8 becomes U+FFFD.
void write_string(Buffer& out, const char* s);

// Appends the text of a tree: compact when space is nullptr, else indented
// with space repeated once per level.
void write_tree(Buffer& out, const JsonNode* root, const char* space);

// The tree of a zero-terminated JSON text, or nullptr when it is malformed.
NodePtr decode(const char* text);
bool validate(const char* text);

// Structural consistency of a tree; the message of the first fault goes into
// errmsg (256 bytes) when errmsg is not nullptr.
bool check(const JsonNode* root, char* errmsg);

}  // namespace korvi::json
