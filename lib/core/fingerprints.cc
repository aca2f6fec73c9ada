#include "core/fingerprints.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "core/sha512.h"
#include "core/sha512_batch.h"
#include "text/clean.h"

namespace korvi::core {
namespace {

constexpr char kHexDigits[] = "0123456789abcdef";

void write_hex(const uint8_t* bytes, size_t count, char* out) noexcept {
  for (size_t i = 0; i < count; ++i) {
    out[2 * i] = kHexDigits[bytes[i] >> 4];
    out[2 * i + 1] = kHexDigits[bytes[i] & 0x0F];
  }
  out[2 * count] = '\0';
}

// Length of the UTF-8 sequence that starts with lead, in a text known valid.
size_t sequence_length(unsigned char lead) noexcept {
  if (lead < 0x80) return 1;
  if (lead < 0xE0) return 2;
  if (lead < 0xF0) return 3;
  return 4;
}

template <size_t Width>
void sort_unique(std::vector<uint8_t>& digests) {
  using Digest = std::array<uint8_t, Width>;
  const size_t count = digests.size() / Width;
  std::vector<Digest> items(count);
  std::memcpy(items.data(), digests.data(), digests.size());
  std::sort(items.begin(), items.end());
  items.erase(std::unique(items.begin(), items.end()), items.end());
  digests.resize(items.size() * Width);
  std::memcpy(digests.data(), items.data(), digests.size());
}

}  // namespace

void hash_hex(std::string_view bytes, bool short_form, char* out) noexcept {
  uint8_t digest[kSha512Bytes];
  sha512_concat(bytes, kSalt, digest);
  write_hex(digest, short_form ? 8 : 32, out);
}

void Fingerprints::hex(size_t i, char* out) const noexcept {
  write_hex(digests_.data() + i * digest_bytes(), digest_bytes(), out);
}

std::string Fingerprints::hex(size_t i) const {
  char buffer[65];
  hex(i, buffer);
  return std::string(buffer, hex_digits());
}

void Fingerprints::append_json_array(std::string& out) const {
  const size_t n = size();
  const size_t digits = hex_digits();
  out.reserve(out.size() + 2 + n * (digits + 3));
  out.push_back('[');
  char buffer[65];
  for (size_t i = 0; i < n; ++i) {
    if (i > 0) out.push_back(',');
    out.push_back('"');
    hex(i, buffer);
    out.append(buffer, digits);
    out.push_back('"');
  }
  out.push_back(']');
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
  digests_.clear();
}

void Fingerprints::add_window(std::string_view bytes) {
  uint8_t digest[kSha512Bytes];
  sha512_concat(bytes, kSalt, digest);
  digests_.insert(digests_.end(), digest, digest + digest_bytes());
}

void Fingerprints::add_windows(const std::vector<std::string_view>& windows) {
  // Hashed together so the multi-buffer kernel can fill its lanes.
  scratch_.resize(windows.size() * kSha512Bytes);
  sha512_batch(windows.data(), windows.size(), kSalt, scratch_.data());
  const size_t keep = digest_bytes();
  const size_t before = digests_.size();
  digests_.resize(before + windows.size() * keep);
  for (size_t i = 0; i < windows.size(); ++i)
    std::memcpy(digests_.data() + before + i * keep, scratch_.data() + i * kSha512Bytes, keep);
}

void Fingerprints::seal() {
  if (short_form_) {
    sort_unique<8>(digests_);
  } else {
    sort_unique<32>(digests_);
  }
}

namespace {

// The byte ranges of every window of a valid text of at least 14 code points.
void collect_windows(std::string_view text, bool tiled, std::vector<std::string_view>& windows) {
  const auto* s = reinterpret_cast<const unsigned char*>(text.data());
  const size_t size = text.size();
  // Byte offset just past the first 14 code points.
  size_t end = 0;
  for (size_t k = 0; k < kWindowCodepoints && end < size; ++k) end += sequence_length(s[end]);

  if (!tiled) {
    size_t start = 0;
    windows.reserve(size);
    while (true) {
      windows.push_back(text.substr(start, end - start));
      if (end >= size) break;
      end += sequence_length(s[end]);
      start += sequence_length(s[start]);
    }
    return;
  }

  // Tiles side by side; when the text does not divide evenly, one more tile
  // flush with the end overlaps the one before it.
  size_t start = 0;
  windows.reserve(size / kWindowCodepoints + 1);
  while (true) {
    windows.push_back(text.substr(start, end - start));
    if (end >= size) return;
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
  windows.push_back(text.substr(final_start));
}

}  // namespace

void cut_windows(std::string_view text, bool tiled, Fingerprints& out) {
  std::vector<std::string_view> windows;
  collect_windows(text, tiled, windows);
  out.add_windows(windows);
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
