// fingerprint() over every flag word and cleaning mode, the boolean road
// included. Input: flags (4 bytes, little-endian), cleaning mode (4 bytes),
// then the text.
//
// Each answer is checked against a second road to the same result: the plain
// road against clean_string() and fingerprint_string(), the boolean road
// against boolean_parse() and shingle_boolean_parse_result() on the tree.
#include "fuzz/fuzz_util.h"

namespace {

using korvi::fuzz::Text;
using korvi::fuzz::Tree;

const std::string kPrefix = R"({"success":true,"data":)";

std::string error_envelope(int32_t status) {
  const char* message = status == STATUS_TOO_SHORT   ? "Input length too short"
                        : status == STATUS_BAD_UTF8  ? "Failed utf8 conversion"
                        : status == STATUS_PARSE_ERROR ? "Expression parse error"
                                                       : "?";
  return std::string(R"({"success":false,"error":")") + message + "\"}";
}

std::string encode(const JsonNode* node) {
  auto text = korvi::fuzz::take_text(json_encode(node));
  FUZZ_CHECK(text.has_value());
  return *text;
}

void check_plain(const char* text, int32_t mode, uint32_t flags, int32_t status,
                 const std::string& answer) {
  const size_t digits = (flags & FINGERPRINT_SHORT) != 0 ? 16 : 64;
  // The status follows from the cleaned text alone.
  const Text cleaned(clean_string(text, mode));
  size_t length = 0;
  int32_t expected = STATUS_BAD_UTF8;
  if (cleaned) {
    length = korvi::fuzz::codepoints(cleaned.get())->size();
    expected = length <= 11 ? STATUS_TOO_SHORT : STATUS_OK;
  }
  FUZZ_CHECK(status == expected);
  if (status != STATUS_OK) {
    FUZZ_CHECK(answer == error_envelope(status));
    return;
  }

  // The same set through the pipeline's own export.
  FingerprintResult scratch{STATUS_OK, nullptr};
  ShingleSet* set = fingerprint_string(text, mode, flags, &scratch);
  FUZZ_CHECK(set != nullptr && scratch.status == STATUS_OK && set->length == digits);
  std::string raw, json = "[";
  for (uint32_t i = 0; i < set->count; ++i) {
    const std::string item = set->items[i];
    FUZZ_CHECK(item.size() == digits && korvi::fuzz::is_lower_hex(item));
    if (i > 0) FUZZ_CHECK(std::string(set->items[i - 1]) < item);  // sorted, no repeats
    raw += item;
    json += (i > 0 ? ",\"" : "\"") + item + "\"";
  }
  json += "]";
  // Never more fingerprints than windows: sliding windows step one code
  // point, tiles fourteen (one more flush with the end); 12 or 13 code
  // points gain a space at each end.
  const size_t padded = length < 14 ? length + 2 : length;
  const size_t windows = (flags & FINGERPRINT_TILED) != 0 ? (padded + 13) / 14 : padded - 13;
  FUZZ_CHECK(set->count >= 1 && set->count <= windows);
  free_shingles(set);

  if ((flags & FINGERPRINT_RAW) != 0) {
    FUZZ_CHECK(answer == raw);
  } else {
    FUZZ_CHECK(answer == kPrefix + R"({"fingerprints":)" + json + "}}");
    FUZZ_CHECK(json_validate(answer.c_str()));
  }
}

void check_boolean(const char* text, int32_t mode, uint32_t flags, int32_t status,
                   const std::string& answer) {
  const Tree tree(boolean_parse(text));
  if (!tree) {
    FUZZ_CHECK(status == STATUS_PARSE_ERROR && answer == error_envelope(status));
    return;
  }
  // Operands are bytes as given; a tree of well-formed text is consistent.
  if (korvi::fuzz::codepoints(text)) FUZZ_CHECK(json_check(tree.get(), nullptr));
  if ((flags & FINGERPRINT_PARSE_ONLY) == 0) {
    FingerprintResult walked{STATUS_OK, nullptr};
    shingle_boolean_parse_result(tree.get(), mode, flags, &walked);
    if (walked.status != STATUS_OK) {
      FUZZ_CHECK(walked.status == STATUS_BAD_UTF8);
      FUZZ_CHECK(status == STATUS_BAD_UTF8 && answer == error_envelope(status));
      return;
    }
  }
  FUZZ_CHECK(status == STATUS_OK);
  FUZZ_CHECK(answer == kPrefix + encode(tree.get()) + "}");
  FUZZ_CHECK(json_validate(answer.c_str()));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  korvi::fuzz::Input input(data, size);
  const uint32_t flags = input.u32();
  const auto mode = static_cast<int32_t>(input.u32());
  const std::string bytes = input.rest();
  const char* text = size == 0 ? nullptr : bytes.c_str();

  FingerprintResult* result = fingerprint(text, mode, flags);
  FUZZ_CHECK(result != nullptr && result->text != nullptr);
  const int32_t status = result->status;
  const std::string answer = result->text;
  free_result(result);
  FUZZ_CHECK(status >= STATUS_OK && status <= STATUS_PARSE_ERROR);

  const Text alone(js_fingerprint(text, mode, flags));
  FUZZ_CHECK(alone && answer == alone.get());

  if (text == nullptr) {
    FUZZ_CHECK(status == STATUS_BAD_UTF8 && answer == error_envelope(status));
  } else if ((flags & FINGERPRINT_BOOLEAN) != 0) {
    check_boolean(text, mode, flags, status, answer);
  } else {
    check_plain(text, mode, flags, status, answer);
  }
  return 0;
}
