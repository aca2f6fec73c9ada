#include "core/fingerprints.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "core/sha512.h"
#include "core/sha512_batch.h"
#include "text/clean.h"

namespace korvi::core {
namespace {

// The eight lower-case hex digits of a 32-bit value, computed for all
// nibbles at once: byte k of the result is the digit of nibble k.
uint64_t hex8(uint32_t value) noexcept {
  uint64_t x = value;
  x = ((x & 0xFFFF0000ull) << 16) | (x & 0xFFFFull);
  x = ((x & 0x0000FF000000FF00ull) << 8) | (x & 0x000000FF000000FFull);
  x = ((x & 0x00F000F000F000F0ull) << 4) | (x & 0x000F000F000F000Full);
  // Byte k now holds nibble k. Digits above 9 move on to the letters.
  const uint64_t letters = ((x + 0x0606060606060606ull) >> 4) & 0x0101010101010101ull;
  return x + 0x3030303030303030ull + letters * ('a' - '0' - 10);
}

char* write_word_hex(uint64_t word, char* out) noexcept {
  const uint64_t high = hex8(static_cast<uint32_t>(word >> 32));
  const uint64_t low = hex8(static_cast<uint32_t>(word));
  // Most significant nibble first, whatever the host's byte order.
  for (int i = 0; i < 8; ++i) out[i] = static_cast<char>(high >> (56 - 8 * i));
  for (int i = 0; i < 8; ++i) out[8 + i] = static_cast<char>(low >> (56 - 8 * i));
  return out + 16;
}

uint64_t load_big_endian(const uint8_t* bytes) noexcept {
  uint64_t word = 0;
  for (int i = 0; i < 8; ++i) word = (word << 8) | bytes[i];
  return word;
}

// Length of the UTF-8 sequence that starts with lead, in a text known valid.
size_t sequence_length(unsigned char lead) noexcept {
  if (lead < 0x80) return 1;
  if (lead < 0xE0) return 2;
  if (lead < 0xF0) return 3;
  return 4;
}

// Windows are hashed in groups of this many, from a fixed buffer, so memory
// does not grow with the text beyond the digests themselves.
constexpr size_t kWindowsPerBatch = 256;

class WindowBatcher {
 public:
  explicit WindowBatcher(Fingerprints& out) : out_(out) {}
  ~WindowBatcher() = default;
  void push(std::string_view window) {
    windows_[count_++] = window;
    if (count_ == kWindowsPerBatch) flush();
  }
  void flush() {
    out_.add_windows(windows_.data(), count_);
    count_ = 0;
  }

 private:
  Fingerprints& out_;
  std::array<std::string_view, kWindowsPerBatch> windows_;
  size_t count_ = 0;
};

}  // namespace

void hash_hex(std::string_view bytes, bool short_form, char* out) noexcept {
  uint8_t digest[kSha512Bytes];
  sha512_concat(bytes, kSalt, digest);
  char* end = out;
  for (size_t w = 0; w < (short_form ? 1u : 4u); ++w)
    end = write_word_hex(load_big_endian(digest + 8 * w), end);
  *end = '\0';
}

void Fingerprints::hex(size_t i, char* out) const noexcept {
  char* end = out;
  if (short_form_) {
    end = write_word_hex(short_[i], end);
  } else {
    for (uint64_t word : long_[i].words) end = write_word_hex(word, end);
  }
  *end = '\0';
}

std::string Fingerprints::hex(size_t i) const {
  char buffer[65];
  hex(i, buffer);
  return std::string(buffer, hex_digits());
}

size_t Fingerprints::json_array_length() const noexcept {
  const size_t n = size();
  // [ and ], each item quoted, commas between.
  return 2 + n * (hex_digits() + 2) + (n > 0 ? n - 1 : 0);
}

char* Fingerprints::write_json_array(char* out) const noexcept {
  *out++ = '[';
  char buffer[65];
  for (size_t i = 0; i < size(); ++i) {
    if (i > 0) *out++ = ',';
    *out++ = '"';
    hex(i, buffer);
    std::memcpy(out, buffer, hex_digits());
    out += hex_digits();
    *out++ = '"';
  }
  *out++ = ']';
  return out;
}

void Fingerprints::append_json_array(std::string& out) const {
  const size_t before = out.size();
  out.resize(before + json_array_length());
  write_json_array(out.data() + before);
}

void Fingerprints::append_raw(std::string& out) const {
  const size_t n = size();
  out.reserve(out.size() + n * hex_digits());
  char buffer[65];
  for (size_t i = 0; i < n; ++i) {
    hex(i, buffer);
    out.append(buffer, hex_digits());
  }
}

void Fingerprints::reset(bool short_form) {
  short_form_ = short_form;
  long_.clear();
  short_.clear();
}

void Fingerprints::add_window(std::string_view bytes) { add_windows(&bytes, 1); }

void Fingerprints::add_windows(const std::string_view* windows, size_t count) {
  uint8_t digests[kWindowsPerBatch * kSha512Bytes];
  while (count > 0) {
    const size_t n = std::min(count, kWindowsPerBatch);
    // Hashed together so the multi-buffer kernel can fill its lanes.
    sha512_batch(windows, n, kSalt, digests);
    for (size_t i = 0; i < n; ++i) {
      const uint8_t* digest = digests + i * kSha512Bytes;
      if (short_form_) {
        short_.push_back(load_big_endian(digest));
      } else {
        long_.push_back(Long{{load_big_endian(digest), load_big_endian(digest + 8),
                              load_big_endian(digest + 16), load_big_endian(digest + 24)}});
      }
    }
    windows += n;
    count -= n;
  }
}

namespace {

// Most texts have a few dozen windows, where insertion sort beats std::sort.
template <class T>
void sort_small_or_large(std::vector<T>& items) {
  if (items.size() > 48) {
    std::sort(items.begin(), items.end());
    return;
  }
  for (size_t i = 1; i < items.size(); ++i) {
    const T item = items[i];
    size_t j = i;
    for (; j > 0 && item < items[j - 1]; --j) items[j] = items[j - 1];
    items[j] = item;
  }
}

}  // namespace

bool Fingerprints::Long::operator<(const Long& other) const noexcept {
  if (words[0] != other.words[0]) return words[0] < other.words[0];
  if (words[1] != other.words[1]) return words[1] < other.words[1];
  if (words[2] != other.words[2]) return words[2] < other.words[2];
  return words[3] < other.words[3];
}

void Fingerprints::seal() {
  if (short_form_) {
    sort_small_or_large(short_);
    short_.erase(std::unique(short_.begin(), short_.end()), short_.end());
  } else {
    sort_small_or_large(long_);
    long_.erase(std::unique(long_.begin(), long_.end()), long_.end());
  }
}

void cut_windows(std::string_view text, bool tiled, Fingerprints& out) {
  const auto* s = reinterpret_cast<const unsigned char*>(text.data());
  const size_t size = text.size();
  WindowBatcher batch(out);
  // Byte offset just past the first 14 code points.
  size_t end = 0;
  for (size_t k = 0; k < kWindowCodepoints && end < size; ++k) end += sequence_length(s[end]);

  if (!tiled) {
    size_t start = 0;
    while (true) {
      batch.push(text.substr(start, end - start));
      if (end >= size) break;
      end += sequence_length(s[end]);
      start += sequence_length(s[start]);
    }
    batch.flush();
    return;
  }

  // Tiles side by side; when the text does not divide evenly, one more tile
  // flush with the end overlaps the one before it.
  size_t start = 0;
  while (true) {
    batch.push(text.substr(start, end - start));
    if (end >= size) {
      batch.flush();
      return;
    }
    start = end;
    size_t next = end, k = 0;
    for (; k < kWindowCodepoints && next < size; ++k) next += sequence_length(s[next]);
    if (k < kWindowCodepoints) break;  // fewer than 14 code points remain
    end = next;
  }
  // Step back from the end by 14 code points for the final tile.
  size_t final_start = size;
  for (size_t k = 0; k < kWindowCodepoints; ++k) {
    do {
      --final_start;
    } while (final_start > 0 && (s[final_start] & 0xC0) == 0x80);
  }
  batch.push(text.substr(final_start));
  batch.flush();
}

int32_t fingerprint_cleaned(std::string_view cleaned, uint32_t flags, Fingerprints& out) {
  const size_t codepoints = text::count_codepoints(cleaned);
  if (codepoints <= kTooShortCodepoints) return STATUS_TOO_SHORT;
  out.reset((flags & FINGERPRINT_SHORT) != 0);
  const bool tiled = (flags & FINGERPRINT_TILED) != 0;
  if (codepoints < kWindowCodepoints) {
    std::string padded;
    padded.reserve(cleaned.size() + 2);
    padded.push_back(' ');
    padded.append(cleaned);
    padded.push_back(' ');
    cut_windows(padded, tiled, out);
  } else {
    cut_windows(cleaned, tiled, out);
  }
  out.seal();
  return STATUS_OK;
}

int32_t fingerprint_text(std::string_view text, int clean_mode, uint32_t flags,
                         Fingerprints& out) {
  std::string cleaned;
  if (!text::clean_into(text, clean_mode, cleaned)) return STATUS_BAD_UTF8;
  return fingerprint_cleaned(cleaned, flags, out);
}

}  // namespace korvi::core
