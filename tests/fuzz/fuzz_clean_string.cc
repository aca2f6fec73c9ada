// clean_string() in every cleaning mode. Input: cleaning mode (4 bytes,
// little-endian), then the text.
//
// The one-pass cleaner is checked against the code-point road (utf8_decode,
// unicode_clean, utf8_encode), which filters and collapses in separate steps,
// and its output against what every mode promises.
#include "fuzz/fuzz_util.h"
#include "text/clean.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  korvi::fuzz::Input input(data, size);
  const auto mode = static_cast<int32_t>(input.u32());
  const std::string bytes = input.rest();
  const char* text = bytes.c_str();

  const auto cleaned = korvi::fuzz::take_text(clean_string(text, mode));
  const auto source = korvi::fuzz::codepoints(text);
  // NULL exactly for ill-formed UTF-8.
  FUZZ_CHECK(cleaned.has_value() == source.has_value());
  if (!cleaned) return 0;

  korvi::testing::Freed<int32_t> decoded(utf8_decode(text));
  korvi::testing::Freed<int32_t> clean_points(unicode_clean(decoded.get(), mode));
  FUZZ_CHECK(clean_points != nullptr);
  const auto encoded = korvi::fuzz::take_text(utf8_encode(clean_points.get()));
  FUZZ_CHECK(encoded && *encoded == *cleaned);
  FUZZ_CHECK(*korvi::fuzz::take_text(utf8_clean(text, mode)) == *cleaned);

  const auto out = korvi::fuzz::codepoints(cleaned->c_str());
  FUZZ_CHECK(out.has_value());  // always well-formed
  FUZZ_CHECK(out->size() <= source->size());
  for (size_t i = 0; i < out->size(); ++i) {
    const int32_t c = (*out)[i];
    FUZZ_CHECK(!(c >= 'a' && c <= 'z'));
    if (c == ' ') {
      FUZZ_CHECK(mode != CLEAN_DIGITS);
      FUZZ_CHECK(i == 0 || (*out)[i - 1] != ' ');  // runs collapsed
      continue;
    }
    if (mode == CLEAN_DIGITS) {
      FUZZ_CHECK(is_valid_digit(c));
    } else if (mode == CLEAN_CODE) {
      FUZZ_CHECK(is_valid_code(c));
    } else {
      FUZZ_CHECK(is_valid_text(c));
    }
    FUZZ_CHECK(!korvi::text::is_space_separator(c));  // every one became U+0020
  }
  // Cleaning a cleaned text changes nothing.
  FUZZ_CHECK(*korvi::fuzz::take_text(clean_string(cleaned->c_str(), mode)) == *cleaned);
  return 0;
}
