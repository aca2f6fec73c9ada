// Compact and indented text of a tree, written with an explicit stack so
// that nesting depth costs heap, never call stack; and the one writer of
// JSON string literals, which other modules use through json/literal.h.
#include <string>
#include <vector>

#include "base/utf8.h"
#include "json/json_internal.h"
#include "json/literal.h"

namespace korvi::json {

namespace {

constexpr char kHex[] = "0123456789ABCDEF";

// Bytes written as themselves without a closer look.
bool plain(unsigned char c) noexcept { return c >= 0x20 && c < 0x80 && c != '"' && c != '\\'; }

// Appends to a std::string through the Buffer's interface.
struct StringOut {
  std::string& text;
  void put(char c) { text.push_back(c); }
  void put(const void* bytes, size_t n) { text.append(static_cast<const char*>(bytes), n); }
  void put(std::string_view more) { text.append(more); }
};

template <class Out>
void write_escape(Out& out, unsigned char c) {
  switch (c) {
    case '"': out.put("\\\""); return;
    case '\\': out.put("\\\\"); return;
    case '\b': out.put("\\b"); return;
    case '\t': out.put("\\t"); return;
    case '\n': out.put("\\n"); return;
    case '\f': out.put("\\f"); return;
    case '\r': out.put("\\r"); return;
    default: {
      char escape[6] = {'\\', 'u', '0', '0', kHex[c >> 4], kHex[c & 0xF]};
      out.put(escape, sizeof escape);
    }
  }
}

void write_scalar_or_open(Buffer& out, const JsonNode* node, bool& opened) {
  opened = false;
  switch (raw_tag(node)) {
    case JSON_NULL: out.put("null"); return;
    case JSON_BOOL: out.put(raw_bool(node) != 0 ? "true" : "false"); return;
    case JSON_STRING: write_string(out, node->string_ != nullptr ? node->string_ : ""); return;
    case JSON_NUMBER: {
      char text[32];
      out.put(text, format_number(node->number_, text));
      return;
    }
    case JSON_ARRAY:
    case JSON_OBJECT: {
      bool object = raw_tag(node) == JSON_OBJECT;
      if (node->head == nullptr) {
        out.put(object ? "{}" : "[]");
      } else {
        out.put(object ? '{' : '[');
        opened = true;
      }
      return;
    }
    default:  // an invalid tag: its payload means nothing
      out.put("null");
  }
}

template <class Out>
void write_literal(Out& out, const char* s) {
  auto p = reinterpret_cast<const unsigned char*>(s);
  out.put('"');
  for (;;) {
    const unsigned char* run = p;
    while (plain(*p)) ++p;
    out.put(run, static_cast<size_t>(p - run));
    if (*p == 0) break;
    if (*p < 0x80) {
      write_escape(out, *p++);
      continue;
    }
    const base::Utf8Sequence sequence = base::decode_utf8(p, base::kUntilZero);
    if (sequence.valid) {
      out.put(p, static_cast<size_t>(sequence.length));
    } else {
      out.put("\xEF\xBF\xBD");  // U+FFFD for the maximal ill-formed subpart
    }
    p += sequence.length;
  }
  out.put('"');
}

}  // namespace

void write_string(Buffer& out, const char* s) { write_literal(out, s); }

void append_string_literal(std::string_view text, std::string& out) {
  bool all_plain = true;
  for (const char c : text) all_plain &= plain(static_cast<unsigned char>(c));
  if (all_plain) {
    out.push_back('"');
    out.append(text);
    out.push_back('"');
    return;
  }
  const std::string terminated(text);
  StringOut sink{out};
  write_literal(sink, terminated.c_str());
}

void write_tree(Buffer& out, const JsonNode* root, const char* space) {
  struct Frame {
    const JsonNode* container;
    const JsonNode* next;  // child to write next
    bool first;
  };
  std::vector<Frame> open;
  std::string_view indent = space != nullptr ? std::string_view(space) : std::string_view();
  auto new_line = [&](size_t depth) {
    out.put('\n');
    if (indent.empty()) return;  // deep trees must not cost a loop per level here
    out.reserve(depth * indent.size());
    for (size_t i = 0; i < depth; ++i) out.put(indent);
  };

  bool opened;
  write_scalar_or_open(out, root, opened);
  if (opened) open.push_back({root, root->head, true});
  while (!open.empty()) {
    Frame& frame = open.back();
    const JsonNode* child = frame.next;
    bool object = raw_tag(frame.container) == JSON_OBJECT;
    if (child == nullptr) {
      open.pop_back();
      if (space != nullptr) new_line(open.size());
      out.put(object ? '}' : ']');
      continue;
    }
    frame.next = child->next;
    if (!frame.first) out.put(',');
    frame.first = false;
    if (space != nullptr) new_line(open.size());
    if (object) {
      write_string(out, child->key != nullptr ? child->key : "");
      out.put(space != nullptr ? ": " : ":");
    }
    write_scalar_or_open(out, child, opened);
    if (opened) open.push_back({child, child->head, true});  // frame is stale from here
  }
}

}  // namespace korvi::json
