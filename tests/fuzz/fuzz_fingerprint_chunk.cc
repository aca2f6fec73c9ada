// fingerprint_chunk() over every flag word. Input: flags (4 bytes,
// little-endian), then the text.
//
// The chunk's fingerprint must equal fingerprint_shingle() over the same
// bytes, and the short form must be the long form's first 16 digits.
#include "fuzz/fuzz_util.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  korvi::fuzz::Input input(data, size);
  const uint32_t flags = input.u32();
  const std::string bytes = input.rest();
  const char* text = bytes.c_str();
  const size_t digits = (flags & FINGERPRINT_SHORT) != 0 ? 16 : 64;

  const auto chunk = korvi::fuzz::take_text(fingerprint_chunk(text, flags));
  FUZZ_CHECK(chunk && chunk->size() == digits && korvi::fuzz::is_lower_hex(*chunk));

  char shingle[65];
  std::memset(shingle, 'x', sizeof shingle);
  fingerprint_shingle(text, shingle, std::strlen(text), flags);
  FUZZ_CHECK(std::strlen(shingle) == digits && *chunk == shingle);

  const auto other = korvi::fuzz::take_text(fingerprint_chunk(text, flags ^ FINGERPRINT_SHORT));
  FUZZ_CHECK(other.has_value());
  const std::string& long_form = digits == 64 ? *chunk : *other;
  const std::string& short_form = digits == 64 ? *other : *chunk;
  FUZZ_CHECK(long_form.size() == 64 && long_form.compare(0, 16, short_form) == 0);
  return 0;
}
