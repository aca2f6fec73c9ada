// A scanner for the lines that `korvi assets` writes:
//   {"record_id":"…","record_type":"…",["key_id":"…",]"name":[{"fingerprints":["…",…],"metadata":{…}},…],…}
// The lines are machine-written, so the scanner reads only what linkage needs
// (the id, the key id and every array-valued member as a field of assets)
// and skips everything else, but it still checks the whole line as JSON so
// that a damaged line is refused instead of half read.
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>

#include "link/linker.h"

namespace korvi::link {

void Records::clear() {
  field_names.clear();
  ids.clear();
  id_ends.clear();
  values.clear();
  fingerprints.clear();
  masks.clear();
  variant_sizes.clear();
  key_state = KeyState::kUnset;
  key_id.clear();
  variants_dropped = 0;
}

namespace {

constexpr int kMaxDepth = 64;

// The value of each hex digit byte; -1 for every other byte.
constexpr std::array<int8_t, 256> kHexValue = [] {
  std::array<int8_t, 256> table{};
  table.fill(-1);
  for (int c = '0'; c <= '9'; ++c) table[c] = static_cast<int8_t>(c - '0');
  for (int c = 'a'; c <= 'f'; ++c) table[c] = static_cast<int8_t>(c - 'a' + 10);
  for (int c = 'A'; c <= 'F'; ++c) table[c] = static_cast<int8_t>(c - 'A' + 10);
  return table;
}();

// Bytes a JSON string holds as they stand and that need no UTF-8 check:
// ASCII from the space on, except the quote and the backslash.
constexpr std::array<bool, 256> kPlainAscii = [] {
  std::array<bool, 256> table{};
  for (int c = 0x20; c < 0x80; ++c) table[c] = c != '"' && c != '\\';
  return table;
}();

struct Refused {
  const char* why;
};

class Scanner {
 public:
  explicit Scanner(std::string_view text) : p_(text.data()), end_(text.data() + text.size()) {}

  bool at_end() const { return p_ == end_; }
  void space() {
    while (p_ < end_ && (*p_ == ' ' || *p_ == '\t' || *p_ == '\r' || *p_ == '\n')) ++p_;
  }
  char peek() {
    if (p_ == end_) throw Refused{"truncated line: it ends inside the record"};
    return *p_;
  }
  void expect(char c) {
    if (peek() != c) throw Refused{"not valid JSON"};
    ++p_;
  }
  bool take(char c) {
    if (peek() != c) return false;
    ++p_;
    return true;
  }

  // A string's text (UTF-8): a view of the line when the string holds no
  // escape, as nearly every string of these lines does, else unescaped into
  // buffer. The view lasts as long as the line, or until buffer changes.
  std::string_view text(std::string& buffer) {
    expect('"');
    const char* start = p_;
    plain();
    if (p_ < end_ && *p_ == '"') {
      ++p_;
      return {start, static_cast<size_t>(p_ - 1 - start)};
    }
    buffer.assign(start, p_);
    for (;;) {
      char c = peek();
      if (c == '"') {
        ++p_;
        return buffer;
      }
      if (c != '\\') throw Refused{"not valid JSON: control character in a string"};
      ++p_;
      const char escape = peek();
      ++p_;
      if (escape == 'u') {
        uint32_t cp = hex4();
        if (cp >= 0xD800 && cp < 0xDC00) {
          if (!(take('\\') && take('u'))) throw Refused{"not valid JSON: lone surrogate"};
          uint32_t low = hex4();
          if (low < 0xDC00 || low >= 0xE000) throw Refused{"not valid JSON: lone surrogate"};
          cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
        } else if (cp >= 0xDC00 && cp < 0xE000) {
          throw Refused{"not valid JSON: lone surrogate"};
        } else if (cp == 0) {
          // Ids are handed out as C strings, and the library's JSON
          // refuses the escape too.
          throw Refused{"a string holds \\u0000"};
        }
        utf8(buffer, cp);
      } else {
        buffer.push_back(unescaped(escape));
      }
      const char* run = p_;
      plain();
      buffer.append(run, p_);
    }
  }

  // A fingerprint: a string of at least 16 hex digits, of which the first 16
  // are the value (distinct texts differ there, as in the short form).
  uint64_t fingerprint() {
    expect('"');
    const char* start = p_;
    uint64_t value = 0;
    for (; p_ < end_ && p_ - start < 16; ++p_) {
      const int d = kHexValue[static_cast<unsigned char>(*p_)];
      if (d < 0) break;
      value = value << 4 | static_cast<uint64_t>(d);
    }
    // The rest of the digits (48 more in the long form) are only checked.
    while (p_ < end_ && kHexValue[static_cast<unsigned char>(*p_)] >= 0) ++p_;
    if (peek() != '"') throw Refused{"a fingerprint is not hexadecimal"};
    ++p_;
    if (p_ - start < 17) throw Refused{"a fingerprint has fewer than 16 hex digits"};
    return value;
  }

  void skip_value(int depth) {
    if (depth > kMaxDepth) throw Refused{"nested too deeply"};
    space();
    char c = peek();
    if (c == '"') {
      text(scratch_);
    } else if (c == '{' || c == '[') {
      char close = c == '{' ? '}' : ']';
      ++p_;
      space();
      if (take(close)) return;
      for (;;) {
        if (c == '{') {
          space();
          text(scratch_);
          space();
          expect(':');
        }
        skip_value(depth + 1);
        space();
        if (take(close)) return;
        expect(',');
      }
    } else if (c == '-' || (c >= '0' && c <= '9')) {
      number();
    } else {
      literal();
    }
  }

 private:
  // The character a one-letter escape stands for.
  static char unescaped(char escape) {
    switch (escape) {
      case '"': return '"';
      case '\\': return '\\';
      case '/': return '/';
      case 'b': return '\b';
      case 'f': return '\f';
      case 'n': return '\n';
      case 'r': return '\r';
      case 't': return '\t';
      default: throw Refused{"not valid JSON: bad escape"};
    }
  }
  // Steps over string bytes that need no unescaping: plain ASCII (one table
  // look-up a byte) and well-formed UTF-8 sequences.
  void plain() {
    while (p_ < end_) {
      const auto c = static_cast<unsigned char>(*p_);
      if (kPlainAscii[c]) {
        ++p_;
      } else if (c >= 0x80) {
        multibyte();
      } else {
        return;
      }
    }
  }
  uint32_t hex4() {
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i, ++p_) {
      const int d = kHexValue[static_cast<unsigned char>(peek())];
      if (d < 0) throw Refused{"not valid JSON: bad escape"};
      v = v << 4 | static_cast<uint32_t>(d);
    }
    return v;
  }
  // Steps over one well-formed UTF-8 sequence of two to four bytes (no
  // overlong forms, surrogates or code points beyond U+10FFFF).
  void multibyte() {
    auto byte = [&](size_t i) { return static_cast<unsigned char>(p_[i]); };
    const unsigned char lead = byte(0);
    size_t length = lead >= 0xC2 && lead <= 0xDF ? 2 : lead >= 0xE0 && lead <= 0xEF ? 3 : lead >= 0xF0 && lead <= 0xF4 ? 4 : 0;
    if (length == 0) throw Refused{"not valid UTF-8"};
    if (static_cast<size_t>(end_ - p_) < length) throw Refused{"truncated line: it ends inside the record"};
    for (size_t i = 1; i < length; ++i)
      if ((byte(i) & 0xC0) != 0x80) throw Refused{"not valid UTF-8"};
    const unsigned char second = byte(1);
    if ((lead == 0xE0 && second < 0xA0) || (lead == 0xED && second > 0x9F) || (lead == 0xF0 && second < 0x90) ||
        (lead == 0xF4 && second > 0x8F))
      throw Refused{"not valid UTF-8"};
    p_ += length;
  }
  static void utf8(std::string& out, uint32_t cp) {
    if (cp < 0x80) {
      out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
      out.push_back(static_cast<char>(0xC0 | cp >> 6));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | cp >> 12));
      out.push_back(static_cast<char>(0x80 | (cp >> 6 & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | cp >> 18));
      out.push_back(static_cast<char>(0x80 | (cp >> 12 & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp >> 6 & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
  }
  void digits() {
    if (!(peek() >= '0' && *p_ <= '9')) throw Refused{"not valid JSON: bad number"};
    while (p_ < end_ && *p_ >= '0' && *p_ <= '9') ++p_;
  }
  void number() {
    take('-');
    if (!take('0')) digits();
    if (p_ < end_ && *p_ == '.') {
      ++p_;
      digits();
    }
    if (p_ < end_ && (*p_ == 'e' || *p_ == 'E')) {
      ++p_;
      if (!take('+')) take('-');
      digits();
    }
  }
  void literal() {
    for (const char* word : {"true", "false", "null"}) {
      size_t n = std::strlen(word);
      size_t left = static_cast<size_t>(end_ - p_);
      if (std::memcmp(p_, word, std::min(n, left)) == 0) {
        if (left < n) throw Refused{"truncated line: it ends inside the record"};
        p_ += n;
        return;
      }
    }
    throw Refused{"not valid JSON"};
  }

  const char* p_;
  const char* end_;
  std::string scratch_;
};

// Reads an array of assets into scratch.entries as (fingerprint, variant).
// Returns the number of variants read.
uint32_t read_assets(Scanner& s, ParseScratch& scratch) {
  scratch.entries.clear();
  uint32_t variant = 0;
  s.expect('[');
  s.space();
  if (s.take(']')) return 0;
  for (;;) {
    s.space();
    if (s.peek() != '{') throw Refused{"an asset is not a JSON object"};
    s.expect('{');
    s.space();
    if (!s.take('}')) {
      for (;;) {
        s.space();
        const bool fingerprints = s.text(scratch.text) == "fingerprints";
        s.space();
        s.expect(':');
        s.space();
        if (fingerprints) {
          s.expect('[');
          s.space();
          if (!s.take(']')) {
            for (;;) {
              s.space();
              uint64_t fp = s.fingerprint();
              if (variant < kMaxVariants) scratch.entries.emplace_back(fp, static_cast<uint8_t>(variant));
              s.space();
              if (s.take(']')) break;
              s.expect(',');
            }
          }
        } else {
          s.skip_value(2);
        }
        s.space();
        if (s.take('}')) break;
        s.expect(',');
      }
    }
    ++variant;
    s.space();
    if (s.take(']')) return variant;
    s.expect(',');
  }
}

// Turns (fingerprint, variant) entries into the field's distinct sorted
// fingerprints with variant masks, and the size of each variant. Variants
// without fingerprints are left out and the others renumbered.
FieldValue store_field(Records& r, ParseScratch& scratch) {
  auto& e = scratch.entries;
  std::sort(e.begin(), e.end());
  e.erase(std::unique(e.begin(), e.end()), e.end());
  std::array<uint32_t, kMaxVariants> size{};
  for (const auto& [fp, v] : e) ++size[v];
  std::array<uint8_t, kMaxVariants> renumber{};
  FieldValue value;
  value.sizes = r.variant_sizes.size();
  for (int v = 0; v < kMaxVariants; ++v) {
    if (size[v] == 0) continue;
    renumber[v] = value.variants++;
    r.variant_sizes.push_back(static_cast<uint8_t>(std::min<uint32_t>(size[v], 255)));
  }
  value.offset = r.fingerprints.size();
  for (size_t i = 0; i < e.size();) {
    uint64_t fp = e[i].first, mask = 0;
    for (; i < e.size() && e[i].first == fp; ++i) mask |= uint64_t{1} << renumber[e[i].second];
    r.fingerprints.push_back(fp);
    r.masks.push_back(mask);
  }
  value.count = static_cast<uint32_t>(r.fingerprints.size() - value.offset);
  return value;
}

}  // namespace

const char* parse_line(Records& r, ParseScratch& scratch, std::string_view line) {
  const size_t ids_before = r.ids.size(), fps_before = r.fingerprints.size(),
               sizes_before = r.variant_sizes.size(), names_before = r.field_names.size();
  std::array<FieldValue, kMaxFields> values{};
  std::array<bool, kMaxFields> seen{};
  bool has_id = false, has_key = false;
  std::string key_id;
  std::string key_buffer;  // a member name with escapes, unescaped
  uint64_t dropped = 0;
  try {
    Scanner s(line);
    s.space();
    if (s.peek() != '{') throw Refused{"not a JSON object"};
    s.expect('{');
    s.space();
    if (!s.take('}')) {
      for (;;) {
        s.space();
        if (s.peek() != '"') throw Refused{"not valid JSON"};
        const std::string_view key = s.text(key_buffer);
        s.space();
        s.expect(':');
        s.space();
        if (key == "record_id") {
          if (s.peek() != '"') throw Refused{"record_id is not a string"};
          if (has_id) throw Refused{"record_id given twice"};
          r.ids += s.text(scratch.text);
          r.ids.push_back('\0');
          has_id = true;
        } else if (key == "key_id") {
          if (s.peek() != '"') throw Refused{"key_id is not a string"};
          key_id = s.text(scratch.text);
          has_key = true;
        } else if (s.peek() == '[') {
          uint32_t variants = read_assets(s, scratch);
          if (variants > kMaxVariants) dropped += variants - kMaxVariants;
          size_t slot = std::find(r.field_names.begin(), r.field_names.end(), key) - r.field_names.begin();
          if (slot == r.field_names.size()) {
            if (slot == kMaxFields) throw Refused{"more fields than the linker compares (8)"};
            r.field_names.emplace_back(key);
          }
          if (seen[slot]) throw Refused{"a field is given twice"};
          seen[slot] = true;
          values[slot] = store_field(r, scratch);
        } else {
          s.skip_value(1);
        }
        s.space();
        if (s.take('}')) break;
        s.expect(',');
      }
    }
    s.space();
    if (!s.at_end()) throw Refused{"text after the record"};
    if (!has_id) throw Refused{"no record_id"};
    KeyState state = has_key ? KeyState::kKey : KeyState::kNone;
    if (r.key_state != KeyState::kUnset && (state != r.key_state || key_id != r.key_id))
      throw Refused{"key_id differs from the first record's"};
    r.key_state = state;
    r.key_id = std::move(key_id);
  } catch (const Refused& refused) {
    r.ids.resize(ids_before);
    r.fingerprints.resize(fps_before);
    r.masks.resize(fps_before);
    r.variant_sizes.resize(sizes_before);
    r.field_names.resize(names_before);
    return refused.why;
  }
  r.id_ends.push_back(r.ids.size());
  r.values.push_back(values);
  r.variants_dropped += dropped;
  return nullptr;
}

}  // namespace korvi::link
