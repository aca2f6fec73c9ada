#include "core/fingerprints.h"

#include <algorithm>
#include <array>
#include <new>
#include <utility>

#include "base/endian.h"
#include "base/utf8.h"
#include "core/digest_sort.h"
#include "core/keyed.h"
#include "core/sha512_batch.h"
#include "core/sizes.h"
#include "text/clean.h"

#if defined(__SSE2__) && defined(__x86_64__)
#include <emmintrin.h>
#elif defined(__wasm_simd128__)
#include <wasm_simd128.h>
#endif

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
  // Byte 7 of each (the most significant nibble's digit) goes first.
  base::store_be64(high, out);
  base::store_be64(low, out + 8);
  return out + 16;
}

#if defined(__SSE2__) && defined(__x86_64__)
// Nibbles (one per byte, 0-15) to their lower-case hex digits.
__m128i nibbles_to_hex(__m128i nibbles) noexcept {
  const __m128i letters = _mm_and_si128(_mm_cmpgt_epi8(nibbles, _mm_set1_epi8(9)),
                                        _mm_set1_epi8('a' - '0' - 10));
  return _mm_add_epi8(_mm_add_epi8(nibbles, _mm_set1_epi8('0')), letters);
}

// The 32 digits of two words, sixteen at a time: bytes most significant
// first, each split into its high and low nibble side by side.
char* write_two_words_hex(uint64_t first, uint64_t second, char* out) noexcept {
  const __m128i bytes = _mm_set_epi64x(static_cast<long long>(base::byteswap64(second)),
                                       static_cast<long long>(base::byteswap64(first)));
  const __m128i low_nibble = _mm_set1_epi8(0x0F);
  const __m128i high = _mm_and_si128(_mm_srli_epi16(bytes, 4), low_nibble);
  const __m128i low = _mm_and_si128(bytes, low_nibble);
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out), nibbles_to_hex(_mm_unpacklo_epi8(high, low)));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 16),
                   nibbles_to_hex(_mm_unpackhi_epi8(high, low)));
  return out + 32;
}

#define KORVI_TWO_WORDS_HEX 1
#elif defined(__wasm_simd128__)
// As above in WebAssembly SIMD128, where a swizzle looks the digits up: in
// the WebAssembly build the scalar digits cost a tenth of a name's time.
// The words' bytes are taken most significant first by the shuffles that
// pair the nibbles, so no byte swap is needed.
char* write_two_words_hex(uint64_t first, uint64_t second, char* out) noexcept {
  const v128_t bytes = wasm_i64x2_make(static_cast<int64_t>(first), static_cast<int64_t>(second));
  const v128_t low_nibble = wasm_i8x16_splat(0x0F);
  const v128_t high = wasm_v128_and(wasm_u16x8_shr(bytes, 4), low_nibble);
  const v128_t low = wasm_v128_and(bytes, low_nibble);
  const v128_t digits = wasm_i8x16_make('0', '1', '2', '3', '4', '5', '6', '7', '8', '9', 'a', 'b',
                                        'c', 'd', 'e', 'f');
  const v128_t first_half =
      wasm_i8x16_shuffle(high, low, 7, 23, 6, 22, 5, 21, 4, 20, 3, 19, 2, 18, 1, 17, 0, 16);
  const v128_t second_half =
      wasm_i8x16_shuffle(high, low, 15, 31, 14, 30, 13, 29, 12, 28, 11, 27, 10, 26, 9, 25, 8, 24);
  wasm_v128_store(out, wasm_i8x16_swizzle(digits, first_half));
  wasm_v128_store(out + 16, wasm_i8x16_swizzle(digits, second_half));
  return out + 32;
}
#define KORVI_TWO_WORDS_HEX 1
#endif

#if defined(KORVI_TWO_WORDS_HEX)
char* write_long_hex(const uint64_t* words, char* out) noexcept {
  out = write_two_words_hex(words[0], words[1], out);
  return write_two_words_hex(words[2], words[3], out);
}
#else
char* write_long_hex(const uint64_t* words, char* out) noexcept {
  for (int w = 0; w < 4; ++w) out = write_word_hex(words[w], out);
  return out;
}
#endif

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
    out_.add_windows(windows_, count_);
    count_ = 0;
  }

 private:
  Fingerprints& out_;
  // Left unset: only the first count_ are read, and clearing all of them
  // on every call (4 kB) cost more than hashing a short name's windows.
  union {
    std::string_view windows_[kWindowsPerBatch];
  };
  size_t count_ = 0;
};

}  // namespace

void hash_hex(std::string_view bytes, bool short_form, char* out, const korvi_key* key) noexcept {
  uint8_t digest[kSha512Bytes];
  if (key != nullptr) {
    key->mac.batch(&bytes, 1, kSalt, digest);
  } else {
    sha512_batch(&bytes, 1, kSalt, digest);
  }
  char* end = out;
  for (size_t w = 0; w < (short_form ? 1u : 4u); ++w)
    end = write_word_hex(base::load_be64(digest + 8 * w), end);
  *end = '\0';
}

char* Fingerprints::write_hex(size_t i, char* out) const noexcept {
  if (short_form_) return write_word_hex(short_[i], out);
  return write_long_hex(long_[i].words, out);
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

char* Fingerprints::write_raw(char* out) const noexcept {
  for (size_t i = 0; i < size(); ++i) out = write_hex(i, out);
  return out;
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

void hash_windows(const korvi_key* key, const std::string_view* windows, size_t count,
                  uint8_t* digests) noexcept {
  if (key != nullptr) {
    key->mac.batch(windows, count, kSalt, digests);
  } else {
    sha512_batch(windows, count, kSalt, digests);
  }
}

void Fingerprints::add_windows(const std::string_view* windows, size_t count) {
  uint8_t digests[kWindowsPerBatch * kSha512Bytes];
  while (count > 0) {
    const size_t n = std::min(count, kWindowsPerBatch);
    // Hashed together so the multi-buffer kernel can fill its lanes.
    hash_windows(key_, windows, n, digests);
    add_digests(digests, n);
    windows += n;
    count -= n;
  }
}

void Fingerprints::add_digests(const uint8_t* digests, size_t count) {
  for (size_t i = 0; i < count; ++i) {
    const uint8_t* digest = digests + i * kSha512Bytes;
    if (short_form_) {
      short_.push_back(base::load_be64(digest));
    } else {
      long_.push_back(Long{{base::load_be64(digest), base::load_be64(digest + 8),
                            base::load_be64(digest + 16), base::load_be64(digest + 24)}});
    }
  }
}

bool Fingerprints::Long::operator<(const Long& other) const noexcept {
  if (words[0] != other.words[0]) return words[0] < other.words[0];
  if (words[1] != other.words[1]) return words[1] < other.words[1];
  if (words[2] != other.words[2]) return words[2] < other.words[2];
  return words[3] < other.words[3];
}

void Fingerprints::seal() {
  if (short_form_) {
    detail::sort_digests(short_);
    short_.erase(std::unique(short_.begin(), short_.end()), short_.end());
  } else {
    detail::sort_digests(long_);
    long_.erase(std::unique(long_.begin(), long_.end()), long_.end());
  }
}

namespace {

// Every code point one byte: windows are plain substrings.
template <class Batch>
void cut_ascii_windows(std::string_view text, bool tiled, Batch& batch) {
  const size_t last = text.size() - kWindowCodepoints;
  const size_t step = tiled ? kWindowCodepoints : 1;
  size_t start = 0;
  for (; start <= last; start += step) batch.push(text.substr(start, kWindowCodepoints));
  // A final tile flush with the end when the tiles do not divide the text.
  if (tiled && start - step != last) batch.push(text.substr(last));
  batch.flush();
}

// The windows of a valid text of at least 14 code points, each handed to
// batch.push, then batch.flush().
template <class Batch>
void cut_windows_into(std::string_view text, size_t codepoints, bool tiled, Batch& batch) {
  const auto* s = reinterpret_cast<const unsigned char*>(text.data());
  const size_t size = text.size();
  if (codepoints == size && size >= kWindowCodepoints) {
    cut_ascii_windows(text, tiled, batch);
    return;
  }
  // Byte offset just past the first 14 code points.
  size_t end = 0;
  for (size_t k = 0; k < kWindowCodepoints && end < size; ++k)
    end += base::sequence_length(s[end]);

  if (!tiled) {
    size_t start = 0;
    while (true) {
      batch.push(text.substr(start, end - start));
      if (end >= size) break;
      end += base::sequence_length(s[end]);
      start += base::sequence_length(s[start]);
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
    for (; k < kWindowCodepoints && next < size; ++k) next += base::sequence_length(s[next]);
    if (k < kWindowCodepoints) break;  // fewer than 14 code points remain
    end = next;
  }
  // Step back from the end by 14 code points for the final tile.
  size_t final_start = size;
  for (size_t k = 0; k < kWindowCodepoints; ++k) {
    do {
      --final_start;
    } while (final_start > 0 && base::is_continuation(s[final_start]));
  }
  batch.push(text.substr(final_start));
  batch.flush();
}

// A cleaned text of 12 or 13 code points is cut with a space at each end.
void append_padded(std::string_view cleaned, std::string& out) {
  out.push_back(' ');
  out.append(cleaned);
  out.push_back(' ');
}

}  // namespace

void cut_windows(std::string_view text, size_t codepoints, bool tiled, Fingerprints& out) {
  // At most one window per byte (sliding) or per 14 bytes (tiles), so the
  // digests never move while they are added.
  out.reserve(tiled ? text.size() / kWindowCodepoints + 1 : text.size());
  WindowBatcher batch(out);
  cut_windows_into(text, codepoints, tiled, batch);
}

void cut_windows(std::string_view text, bool tiled, Fingerprints& out) {
  cut_windows(text, base::count_codepoints(text), tiled, out);
}

int32_t fingerprint_cleaned(std::string_view cleaned, uint32_t flags, Fingerprints& out) {
  const size_t codepoints = base::count_codepoints(cleaned);
  if (codepoints <= kTooShortCodepoints) return STATUS_TOO_SHORT;
  out.reset((flags & FINGERPRINT_SHORT) != 0);
  const bool tiled = (flags & FINGERPRINT_TILED) != 0;
  if (codepoints < kWindowCodepoints) {
    std::string padded;
    append_padded(cleaned, padded);
    cut_windows(padded, codepoints + 2, tiled, out);
  } else {
    cut_windows(cleaned, codepoints, tiled, out);
  }
  out.seal();
  return STATUS_OK;
}

int32_t fingerprint_text(std::string_view text, int clean_mode, uint32_t flags,
                         Fingerprints& out) {
  std::string cleaned;
  return fingerprint_text(text, clean_mode, flags, out, cleaned);
}

int32_t fingerprint_text(std::string_view text, int clean_mode, uint32_t flags,
                         Fingerprints& out, std::string& cleaned) {
  cleaned.clear();
  if (!text::clean_into(text, clean_mode, cleaned)) return STATUS_BAD_UTF8;
  return fingerprint_cleaned(cleaned, flags, out);
}

namespace {

// The windows of short texts, gathered as offsets into the texts' store
// (which may move while it grows) until enough are pending for one batch.
class WindowSpans {
 public:
  explicit WindowSpans(std::string_view store) : store_(store) {}
  void push(std::string_view window) {
    spans_.push_back({static_cast<size_t>(window.data() - store_.data()), window.size()});
  }
  void flush() {}
  void rebase(std::string_view store) { store_ = store; }
  size_t size() const noexcept { return spans_.size(); }
  std::string_view operator[](size_t i) const {
    return store_.substr(spans_[i].first, spans_[i].second);
  }
  void clear() { spans_.clear(); }

 private:
  std::string_view store_;
  std::vector<std::pair<size_t, size_t>> spans_;
};

}  // namespace

void fingerprint_texts(const char* const* texts, size_t count, int clean_mode, uint32_t flags,
                       const korvi_key* key,
                       const std::function<void(size_t, int32_t, const Fingerprints&)>& done) {
  const bool short_form = (flags & FINGERPRINT_SHORT) != 0;
  const bool tiled = (flags & FINGERPRINT_TILED) != 0;
  Fingerprints prints(short_form, key);
  struct Pending {
    size_t index;
    int32_t status;
    size_t first_window, windows;
  };
  std::vector<Pending> pending;
  std::string store, cleaned;  // the pending texts, cleaned (and padded), back to back
  WindowSpans spans(store);
  std::vector<std::string_view> views;
  std::vector<uint8_t> digests;
  const auto finish_pending = [&] {
    spans.rebase(store);
    views.resize(spans.size());
    for (size_t w = 0; w < views.size(); ++w) views[w] = spans[w];
    digests.resize(views.size() * kSha512Bytes);
    if (!views.empty()) hash_windows(key, views.data(), views.size(), digests.data());
    for (const Pending& text : pending) {
      if (text.status == STATUS_OK) {
        prints.reset(short_form);
        prints.add_digests(digests.data() + text.first_window * kSha512Bytes, text.windows);
        prints.seal();
      }
      done(text.index, text.status, prints);
    }
    pending.clear();
    store.clear();
    spans.clear();
  };
  for (size_t i = 0; i < count; ++i) {
    // A batch's worth of windows is hashed; refusals never wait long either.
    if (spans.size() >= kWindowsPerBatch || pending.size() >= kWindowsPerBatch) finish_pending();
    if (texts[i] == nullptr) {
      pending.push_back({i, STATUS_BAD_UTF8, 0, 0});
      continue;
    }
    const std::string_view text = texts[i];
    // A text of more windows than a batch holds is fingerprinted alone, so
    // that pending digests stay within one batch's memory.
    if (text.size() > kWindowsPerBatch) {
      finish_pending();
      const int32_t status = fingerprint_text(text, clean_mode, flags, prints, cleaned);
      done(i, status, prints);
      continue;
    }
    cleaned.clear();
    if (!text::clean_into(text, clean_mode, cleaned)) {
      pending.push_back({i, STATUS_BAD_UTF8, 0, 0});
      continue;
    }
    size_t codepoints = base::count_codepoints(cleaned);
    if (codepoints <= kTooShortCodepoints) {
      pending.push_back({i, STATUS_TOO_SHORT, 0, 0});
      continue;
    }
    const size_t start = store.size();
    if (codepoints < kWindowCodepoints) {
      append_padded(cleaned, store);
      codepoints += 2;
    } else {
      store.append(cleaned);
    }
    spans.rebase(store);
    const size_t first = spans.size();
    cut_windows_into(std::string_view(store).substr(start), codepoints, tiled, spans);
    pending.push_back({i, STATUS_OK, first, spans.size() - first});
  }
  finish_pending();
}

}  // namespace korvi::core
