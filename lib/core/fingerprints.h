// Fingerprinting internals shared by the entry point, the expression walk
// and the asset builders.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "korvi/common.h"

struct korvi_key;

namespace korvi::core {

inline constexpr std::string_view kSalt = "Qm7pZ2vX+9LcT4nB8rKs1A";
inline constexpr size_t kWindowCodepoints = 14;
// Cleaned texts of this many code points or fewer are refused; 12 and 13 are
// padded with one space at each end to make one window.
inline constexpr size_t kTooShortCodepoints = 11;

// The 64-byte digests of windows + salt (HMAC with a key), count of them,
// hashed in multi-buffer batches.
void hash_windows(const korvi_key* key, const std::string_view* windows, size_t count,
                  uint8_t* digests) noexcept;

// Fingerprint of bytes + salt: writes 64 (or 16 when short_form) lower-case
// hex digits and a terminating zero into out (65 or 17 bytes). With a key,
// the keyed fingerprint of the same bytes.
void hash_hex(std::string_view bytes, bool short_form, char* out,
              const korvi_key* key = nullptr) noexcept;

// The sorted, de-duplicated fingerprints of one text. Digests are kept as
// big-endian 64-bit words (four for the long form, one for the short), so
// numeric order is the byte order of their hex text.
class Fingerprints {
 public:
  // A long (32-byte) digest as four big-endian words.
  struct Long {
    uint64_t words[4];
    bool operator<(const Long& other) const noexcept;
    bool operator==(const Long& other) const noexcept = default;
  };

  explicit Fingerprints(bool short_form = false) : short_form_(short_form) {}
  // Keyed fingerprints when key is not null; the key must outlive the set.
  Fingerprints(bool short_form, const korvi_key* key) : short_form_(short_form), key_(key) {}

  bool short_form() const noexcept { return short_form_; }
  size_t digest_bytes() const noexcept { return short_form_ ? 8 : 32; }
  size_t hex_digits() const noexcept { return 2 * digest_bytes(); }
  size_t size() const noexcept { return short_form_ ? short_.size() : long_.size(); }
  bool empty() const noexcept { return size() == 0; }

  // Writes item i as hex digits plus a terminating zero (hex_digits() + 1 bytes).
  void hex(size_t i, char* out) const noexcept;
  char* write_hex(size_t i, char* out) const noexcept;  // no terminator; returns the end
  std::string hex(size_t i) const;
  // ["…","…"] with no white space, as the compact JSON writer would.
  void append_json_array(std::string& out) const;
  // Bytes of the array's text, and of the items back to back; SIZE_MAX when
  // that many bytes could not be addressed.
  size_t json_array_length() const noexcept;
  size_t raw_length() const noexcept;
  char* write_json_array(char* out) const noexcept;  // returns the end; no terminator
  char* write_raw(char* out) const noexcept;         // raw_length() bytes; returns the end
  // The items back to back with no separator.
  void append_raw(std::string& out) const;

  // Building: hash windows (in text order), then seal (sort, drop repeats) once.
  void reset(bool short_form);
  void reserve(size_t more);
  void add_window(std::string_view bytes);
  void add_windows(const std::string_view* windows, size_t count);
  // Digests (64 bytes each, as hash_windows writes them) of windows hashed
  // elsewhere.
  void add_digests(const uint8_t* digests, size_t count);
  void seal();

 private:
  bool short_form_;
  const korvi_key* key_ = nullptr;
  std::vector<Long> long_;
  std::vector<uint64_t> short_;
};

// Cuts a valid text of at least 14 code points into sliding windows (or
// tiles when tiled) and adds one digest per window, unsorted.
void cut_windows(std::string_view text, bool tiled, Fingerprints& out);
// The same when the text's code points are already counted.
void cut_windows(std::string_view text, size_t codepoints, bool tiled, Fingerprints& out);

// The whole pipeline for one text: clean with clean_mode, refuse 11 code
// points or fewer (STATUS_TOO_SHORT), pad 12 or 13, cut (FINGERPRINT_TILED),
// hash (FINGERPRINT_SHORT), sort and de-duplicate. Returns STATUS_OK,
// STATUS_TOO_SHORT or STATUS_BAD_UTF8; out is sealed only on STATUS_OK.
int32_t fingerprint_text(std::string_view text, int clean_mode, uint32_t flags,
                         Fingerprints& out);
// The same, cleaning into cleaned (its old content is dropped): a caller
// with many texts keeps its memory, and out's, from one text to the next.
int32_t fingerprint_text(std::string_view text, int clean_mode, uint32_t flags,
                         Fingerprints& out, std::string& cleaned);

// The same after cleaning: cleaned must be valid UTF-8. Returns STATUS_OK or
// STATUS_TOO_SHORT.
int32_t fingerprint_cleaned(std::string_view cleaned, uint32_t flags, Fingerprints& out);

// fingerprint_text for each of count texts (a NULL one is STATUS_BAD_UTF8),
// handed in order to done(i, status, fingerprints), which are sealed when
// status is STATUS_OK. The windows of several short texts are hashed in one
// batch, so that the multi-buffer kernels fill their lanes across texts (a
// name has about eight windows).
void fingerprint_texts(const char* const* texts, size_t count, int clean_mode, uint32_t flags,
                       const korvi_key* key,
                       const std::function<void(size_t, int32_t, const Fingerprints&)>& done);

}  // namespace korvi::core
