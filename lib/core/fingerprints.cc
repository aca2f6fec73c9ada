#include "core/fingerprints.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <new>

#include "core/sha512.h"
#include "core/sha512_batch.h"
#include "core/sizes.h"
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

// Stores the eight bytes of x in reverse: byte 7 of x goes to out[0], byte 0
// to out[7].
void store_reversed(uint64_t x, char* out) noexcept {
  if constexpr (std::endian::native == std::endian::little) {
    x = __builtin_bswap64(x);
    std::memcpy(out, &x, sizeof x);
  } else if constexpr (std::endian::native == std::endian::big) {
    std::memcpy(out, &x, sizeof x);
  } else {
    for (int i = 0; i < 8; ++i) out[i] = static_cast<char>(x >> (56 - 8 * i));
  }
}

char* write_word_hex(uint64_t word, char* out) noexcept {
  const uint64_t high = hex8(static_cast<uint32_t>(word >> 32));
  const uint64_t low = hex8(static_cast<uint32_t>(word));
  // Most significant nibble first in memory, whatever the host's byte order.
  store_reversed(high, out);
  store_reversed(low, out + 8);
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

char* Fingerprints::write_hex(size_t i, char* out) const noexcept {
  if (short_form_) return write_word_hex(short_[i], out);
  for (uint64_t word : long_[i].words) out = write_word_hex(word, out);
  return out;
}

void Fingerprints::hex(size_t i, char* out) const noexcept { *write_hex(i, out) = '\0'; }

std::string Fingerprints::hex(size_t i) const {
  char buffer[65];
  hex(i, buffer);
  return std::string(buffer, hex_digits());
}

size_t Fingerprints::json_array_length() const noexcept {
  const size_t n = size();
  // [ and ], each item quoted, commas between.
  return n == 0 ? 2 : saturating_add(saturating_mul(n, hex_digits() + 3), 1);
}

size_t Fingerprints::raw_length() const noexcept { return saturating_mul(size(), hex_digits()); }

char* Fingerprints::write_json_array(char* out) const noexcept {
  *out++ = '[';
  for (size_t i = 0; i < size(); ++i) {
    if (i > 0) *out++ = ',';
    *out++ = '"';
    out = write_hex(i, out);
    *out++ = '"';
  }
  *out++ = ']';
  return out;
}

void Fingerprints::append_json_array(std::string& out) const {
  const size_t before = out.size();
  const size_t after = saturating_add(before, json_array_length());
  if (after == kSizeUnbounded) throw std::bad_alloc();
  out.resize(after);  // grows the capacity geometrically, as appending does
  write_json_array(out.data() + before);
}

void Fingerprints::append_raw(std::string& out) const {
  const size_t n = size();
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

void Fingerprints::reserve(size_t more) {
  if (short_form_) {
    short_.reserve(short_.size() + more);
  } else {
    long_.reserve(long_.size() + more);
  }
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

template <class T>
void insertion_sort(T* items, size_t n) {
  for (size_t i = 1; i < n; ++i) {
    const T item = items[i];
    size_t j = i;
    for (; j > 0 && item < items[j - 1]; --j) items[j] = items[j - 1];
    items[j] = item;
  }
}

uint64_t leading_word(uint64_t word) noexcept { return word; }
uint64_t leading_word(const Fingerprints::Long& digest) noexcept { return digest.words[0]; }

// Digests are uniformly spread, so one in-place pass by the leading byte
// (each item swapped straight into its bucket) leaves small buckets that
// finish quickly; short texts skip straight to insertion sort.
template <class T>
void sort_digests(std::vector<T>& items) {
  const size_t n = items.size();
  if (n <= 48) {
    insertion_sort(items.data(), n);
    return;
  }
  std::array<size_t, 257> start{};
  for (const T& item : items) ++start[(leading_word(item) >> 56) + 1];
  for (size_t b = 1; b <= 256; ++b) start[b] += start[b - 1];
  std::array<size_t, 256> next;
  std::copy(start.begin(), start.end() - 1, next.begin());
  for (size_t bucket = 0; bucket < 256; ++bucket) {
    while (next[bucket] < start[bucket + 1]) {
      T& item = items[next[bucket]];
      const auto home = static_cast<size_t>(leading_word(item) >> 56);
      if (home == bucket) {
        ++next[bucket];
      } else {
        std::swap(item, items[next[home]++]);
      }
    }
  }
  for (size_t bucket = 0; bucket < 256; ++bucket) {
    T* first = items.data() + start[bucket];
    const size_t count = start[bucket + 1] - start[bucket];
    if (count <= 32) {
      insertion_sort(first, count);
    } else {
      std::sort(first, first + count);
    }
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
    sort_digests(short_);
    short_.erase(std::unique(short_.begin(), short_.end()), short_.end());
  } else {
    sort_digests(long_);
    long_.erase(std::unique(long_.begin(), long_.end()), long_.end());
  }
}

void cut_windows(std::string_view text, bool tiled, Fingerprints& out) {
  const auto* s = reinterpret_cast<const unsigned char*>(text.data());
  const size_t size = text.size();
  // At most one window per byte (sliding) or per 14 bytes (tiles), so the
  // digests never move while they are added.
  out.reserve(tiled ? size / kWindowCodepoints + 1 : size);
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
