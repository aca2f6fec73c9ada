// Strict reader of JSON text. Open arrays and objects live on an explicit
// stack, so any depth fits in heap memory; decoding and validating share one
// grammar, validating simply builds nothing.
#include <vector>

#include "base/utf8.h"
#include "json/json_internal.h"

namespace korvi::json {

namespace {

bool is_space(unsigned char c) noexcept { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

int hex_value(unsigned char c) noexcept {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Frames of the tree being built. A container joins its parent only when it
// is complete; until then the frame owns it, and the key it will get.
class TreeBuilder {
 public:
  static constexpr bool kBuilds = true;

  TreeBuilder() = default;
  TreeBuilder(const TreeBuilder&) = delete;
  TreeBuilder& operator=(const TreeBuilder&) = delete;
  ~TreeBuilder() {
    for (Frame& frame : frames_) {
      delete_tree(frame.container);
      std::free(frame.key);
    }
  }

  bool empty() const noexcept { return frames_.empty(); }
  bool in_object() const noexcept { return raw_tag(frames_.back().container) == JSON_OBJECT; }

  void open(JsonTag tag) {
    NodePtr container = make(tag);
    frames_.push_back({nullptr, nullptr});
    frames_.back().container = container.release();
  }
  void key(Buffer& text) { frames_.back().key = text.release(); }

  void value_empty(JsonTag tag) { value_ = make(tag); }
  void value_null() { value_ = make(JSON_NULL); }
  void value_bool(bool b) {
    value_ = make(JSON_BOOL);
    value_->bool_ = b;
  }
  void value_number(const char* first, const char* last) {
    value_ = make(JSON_NUMBER);
    value_->number_ = convert_number(first, last);
  }
  void value_string(Buffer& text) {
    value_ = make(JSON_STRING);
    value_->string_ = text.release();
  }

  // Moves the finished value into the innermost open container.
  void attach_value() noexcept {
    Frame& frame = frames_.back();
    JsonNode* child = value_.release();
    child->key = frame.key;
    frame.key = nullptr;
    link_last(frame.container, child);
  }
  // The innermost container is complete and becomes the value.
  void close() noexcept {
    value_.reset(frames_.back().container);
    frames_.pop_back();
  }
  NodePtr result() noexcept { return std::move(value_); }

 private:
  struct Frame {
    JsonNode* container;
    char* key;  // member name read, its value not yet complete
  };

  static NodePtr make(JsonTag tag) {
    JsonNode* node = new_node(tag);
    if (node == nullptr) throw std::bad_alloc();
    return NodePtr(node);
  }

  std::vector<Frame> frames_;
  NodePtr value_;
};

// Tracks only which kind of container is open.
class Checker {
 public:
  static constexpr bool kBuilds = false;

  bool empty() const noexcept { return objects_.empty(); }
  bool in_object() const noexcept { return objects_.back(); }
  void open(JsonTag tag) { objects_.push_back(tag == JSON_OBJECT); }
  void key(Buffer&) {}
  void value_empty(JsonTag) {}
  void value_null() {}
  void value_bool(bool) {}
  void value_number(const char*, const char*) {}
  void value_string(Buffer&) {}
  void attach_value() noexcept {}
  void close() noexcept { objects_.pop_back(); }

 private:
  std::vector<bool> objects_;
};

template <class Sink>
class Parser {
 public:
  explicit Parser(const char* text) : p_(reinterpret_cast<const unsigned char*>(text)) {}

  bool run(Sink& sink) {
    skip_space();
    bool want_key = false;
    for (;;) {
      if (want_key) {
        if (*p_ != '"' || !string(sink, true)) return false;
        skip_space();
        if (*p_ != ':') return false;
        ++p_;
        skip_space();
        want_key = false;
      }
      // One value, or the opening of a non-empty container.
      switch (*p_) {
        case '[':
        case '{': {
          JsonTag tag = *p_ == '{' ? JSON_OBJECT : JSON_ARRAY;
          unsigned char closer = tag == JSON_OBJECT ? '}' : ']';
          ++p_;
          skip_space();
          if (*p_ == closer) {
            ++p_;
            sink.value_empty(tag);
            break;
          }
          sink.open(tag);
          want_key = tag == JSON_OBJECT;
          continue;
        }
        case '"':
          if (!string(sink, false)) return false;
          break;
        case 't':
          if (!literal("true")) return false;
          sink.value_bool(true);
          break;
        case 'f':
          if (!literal("false")) return false;
          sink.value_bool(false);
          break;
        case 'n':
          if (!literal("null")) return false;
          sink.value_null();
          break;
        default: {
          auto first = reinterpret_cast<const char*>(p_);
          const char* last = match_number(first);
          if (last == nullptr) return false;
          sink.value_number(first, last);
          p_ = reinterpret_cast<const unsigned char*>(last);
        }
      }
      // A value is complete: file it, and close every container it completes.
      for (;;) {
        skip_space();
        if (sink.empty()) return *p_ == '\0';
        sink.attach_value();
        bool object = sink.in_object();
        if (*p_ == ',') {
          ++p_;
          skip_space();
          want_key = object;
          break;
        }
        if (*p_ != (object ? '}' : ']')) return false;
        ++p_;
        sink.close();
      }
    }
  }

 private:
  void skip_space() noexcept {
    while (is_space(*p_)) ++p_;
  }

  bool literal(const char* word) noexcept {
    for (; *word != '\0'; ++word, ++p_) {
      if (*p_ != static_cast<unsigned char>(*word)) return false;
    }
    return true;
  }

  bool hex16(uint32_t& value) noexcept {
    value = 0;
    for (int i = 0; i < 4; ++i) {
      int digit = hex_value(p_[i]);
      if (digit < 0) return false;
      value = value * 16 + static_cast<uint32_t>(digit);
    }
    p_ += 4;
    return true;
  }

  // The code point of a \u escape (p_ just past the u), pairing surrogates.
  bool unicode_escape(uint32_t& codepoint) noexcept {
    uint32_t high;
    if (!hex16(high) || high == 0) return false;  // strings never hold a zero byte
    if (high < 0xD800 || high > 0xDFFF) {
      codepoint = high;
      return true;
    }
    if (high > 0xDBFF || p_[0] != '\\' || p_[1] != 'u') return false;
    p_ += 2;
    uint32_t low;
    if (!hex16(low) || low < 0xDC00 || low > 0xDFFF) return false;
    codepoint = ((high - 0xD800) << 10) + (low - 0xDC00) + 0x10000;
    return true;
  }

  // A string literal at p_ (on its quotation mark), as a value or a key.
  bool string(Sink& sink, bool is_key) {
    Buffer text;
    ++p_;
    for (;;) {
      const unsigned char* run = p_;
      while (*p_ >= 0x20 && *p_ < 0x80 && *p_ != '"' && *p_ != '\\') ++p_;
      if constexpr (Sink::kBuilds) text.put(run, static_cast<size_t>(p_ - run));
      unsigned char c = *p_;
      if (c == '"') {
        ++p_;
        break;
      }
      if (c < 0x20) return false;  // raw control bytes and the end of the text
      if (c == '\\') {
        char plain;
        switch (p_[1]) {
          case '"': plain = '"'; break;
          case '\\': plain = '\\'; break;
          case '/': plain = '/'; break;
          case 'b': plain = '\b'; break;
          case 'f': plain = '\f'; break;
          case 'n': plain = '\n'; break;
          case 'r': plain = '\r'; break;
          case 't': plain = '\t'; break;
          case 'u': {
            p_ += 2;
            uint32_t codepoint;
            if (!unicode_escape(codepoint)) return false;
            if constexpr (Sink::kBuilds) {
              char bytes[4];
              text.put(bytes, base::encode_utf8(codepoint, bytes));
            }
            continue;
          }
          default: return false;
        }
        p_ += 2;
        if constexpr (Sink::kBuilds) text.put(plain);
        continue;
      }
      const base::Utf8Sequence sequence = base::decode_utf8(p_, base::kUntilZero);
      if (!sequence.valid) return false;
      if constexpr (Sink::kBuilds) text.put(p_, static_cast<size_t>(sequence.length));
      p_ += sequence.length;
    }
    if (is_key) {
      sink.key(text);
    } else {
      sink.value_string(text);
    }
    return true;
  }

  const unsigned char* p_;
};

}  // namespace

NodePtr decode(const char* text) {
  TreeBuilder builder;
  if (!Parser<TreeBuilder>(text).run(builder)) return nullptr;
  return builder.result();
}

bool validate(const char* text) {
  Checker checker;
  return Parser<Checker>(text).run(checker);
}

}  // namespace korvi::json
