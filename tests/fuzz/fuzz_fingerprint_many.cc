// korvi_fingerprint_many() and its keyed form against fingerprint() of each
// text alone. Input: flags (1 byte: bit 0 tiled, bit 1 short, bit 2 keyed),
// cleaning mode (1 byte, signed), then texts separated by zero bytes; a text
// that is the single byte 0x7F goes in as NULL.
//
// The windows of several short texts are hashed together, so what is
// checked is that batching changes nothing: each text's count is the number
// of its fingerprints alone (or minus its status), and the digits are those
// of the accepted texts back to back.
#include <vector>

#include "fuzz/fuzz_util.h"

namespace {

using korvi::fuzz::take_text;

korvi_key* fuzz_key() {
  static korvi_key* const key =
      korvi_key_new(reinterpret_cast<const unsigned char*>("fuzzing key material, 32 bytes!!"), 32);
  return key;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  korvi::fuzz::Input input(data, size);
  const uint8_t options = input.byte();
  const uint32_t flags = ((options & 1) != 0 ? FINGERPRINT_TILED : 0u) |
                         ((options & 2) != 0 ? FINGERPRINT_SHORT : 0u);
  korvi_key* key = (options & 4) != 0 ? fuzz_key() : nullptr;
  const auto mode = static_cast<int32_t>(static_cast<int8_t>(input.byte()));
  std::vector<std::string> owned;
  while (input.left() > 0) owned.push_back(input.until_zero());
  std::vector<const char*> texts;
  for (const std::string& text : owned) texts.push_back(text == "\x7f" ? nullptr : text.c_str());

  std::vector<int64_t> counts(texts.size(), 12345);
  const auto many = take_text(key != nullptr ? korvi_fingerprint_many_keyed(key, texts.data(), texts.size(),
                                                                            mode, flags, counts.data())
                                             : korvi_fingerprint_many(texts.data(), texts.size(), mode,
                                                                      flags, counts.data()));
  FUZZ_CHECK(many.has_value());
  const size_t width = (flags & FINGERPRINT_SHORT) != 0 ? 16 : 64;
  std::string expected;
  for (size_t i = 0; i < texts.size(); ++i) {
    FingerprintResult* alone = key != nullptr
                                   ? fingerprint_keyed(key, texts[i], mode, flags | FINGERPRINT_RAW)
                                   : fingerprint(texts[i], mode, flags | FINGERPRINT_RAW);
    FUZZ_CHECK(alone != nullptr && alone->text != nullptr);
    if (alone->status != STATUS_OK) {
      FUZZ_CHECK(counts[i] == -alone->status);
    } else {
      const std::string digits = alone->text;
      FUZZ_CHECK(counts[i] > 0 && static_cast<size_t>(counts[i]) * width == digits.size());
      expected += digits;
    }
    free_result(alone);
  }
  FUZZ_CHECK(*many == expected);
  return 0;
}
