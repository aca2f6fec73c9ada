// Shared by the assets_from_* fuzz targets. Input: one byte whose bit i
// makes argument i NULL, then the arguments' texts separated by zero bytes
// (missing ones are empty).
//
// Every answer must be a JSON array of well-formed assets carrying the
// caller's metadata, numbered upwards; its first asset, when the field's
// first variant has fingerprints, must hold what fingerprint() and
// fingerprint_chunk() give for that variant, worked out here from
// clean_string() alone.
#pragma once

#include <array>

#include "fuzz/fuzz_util.h"

namespace korvi::fuzz {

template <size_t N>
struct Arguments {
  std::array<std::string, N> texts;
  std::array<bool, N> null{};

  explicit Arguments(Input& input) {
    const uint8_t nulls = input.byte();
    for (size_t i = 0; i < N; ++i) {
      null[i] = ((nulls >> i) & 1) != 0;
      texts[i] = input.until_zero();
    }
  }
  const char* operator[](size_t i) const { return null[i] ? nullptr : texts[i].c_str(); }
  bool valid(size_t i) const { return !null[i] && codepoints(texts[i].c_str()).has_value(); }
};

inline std::string clean(const std::string& text, int mode) {
  auto cleaned = take_text(clean_string(text.c_str(), mode));
  FUZZ_CHECK(cleaned.has_value());
  return *cleaned;
}

inline std::string chunk(const std::string& text) {
  auto hex = take_text(fingerprint_chunk(text.c_str(), FINGERPRINT_SHORT));
  FUZZ_CHECK(hex.has_value());
  return *hex;
}

// The fingerprints of one variant: tiles of the variant cleaned again when it
// is longer than 11 code points (none when that leaves it too short), else
// the hash of the whole variant.
inline std::optional<std::vector<std::string>> variant_fingerprints(const std::string& variant) {
  if (codepoints(variant.c_str())->size() <= 11) return std::vector<std::string>{chunk(variant)};
  FingerprintResult* result =
      fingerprint(variant.c_str(), CLEAN_TEXT, FINGERPRINT_TILED | FINGERPRINT_SHORT | FINGERPRINT_RAW);
  FUZZ_CHECK(result != nullptr);
  std::optional<std::vector<std::string>> out;
  if (result->status == STATUS_OK) {
    out.emplace();
    const std::string raw = result->text;
    for (size_t at = 0; at < raw.size(); at += 16) out->push_back(raw.substr(at, 16));
  }
  free_result(result);
  return out;
}

// The member's value, which must be present and of the given kind.
inline const JsonNode* member(const JsonNode* object, const char* key, JsonTag tag) {
  const JsonNode* node = json_find_member(const_cast<JsonNode*>(object), key);
  FUZZ_CHECK(node != nullptr && node->tag == tag);
  return node;
}

// Checks an answer: "[]" when empty is set, else an array whose first asset
// is numbered 1 and holds first_prints exactly when the field's first
// variant has fingerprints. single says the export makes one asset.
inline void check_assets(char* answer_text, const char* record_type, const char* record_id,
                         const char* field, bool empty,
                         const std::optional<std::vector<std::string>>& first_prints, bool single,
                         size_t max_assets) {
  const auto answer = take_text(answer_text);
  FUZZ_CHECK(answer.has_value());
  if (empty) {
    FUZZ_CHECK(*answer == "[]");
    return;
  }
  const Tree tree(json_decode(answer->c_str()));
  FUZZ_CHECK(tree && tree->tag == JSON_ARRAY);
  // Metadata comes back as the writer repairs it.
  const Tree type(json_decode(take_text(json_encode_string(record_type))->c_str()));
  const Tree id(json_decode(take_text(json_encode_string(record_id))->c_str()));
  FUZZ_CHECK(type && id);

  long previous = 0;
  size_t count = 0;
  for (const JsonNode* asset = tree->head; asset != nullptr; asset = asset->next) {
    ++count;
    FUZZ_CHECK(asset->tag == JSON_OBJECT);
    const JsonNode* prints = member(asset, "fingerprints", JSON_ARRAY);
    FUZZ_CHECK(prints->head != nullptr);
    std::vector<std::string> hexes;
    for (const JsonNode* print = prints->head; print != nullptr; print = print->next) {
      FUZZ_CHECK(print->tag == JSON_STRING);
      hexes.push_back(print->string_);
      FUZZ_CHECK(hexes.back().size() == 16 && is_lower_hex(hexes.back()));
    }
    const JsonNode* metadata = member(asset, "metadata", JSON_OBJECT);
    FUZZ_CHECK(std::strcmp(member(metadata, "record_type", JSON_STRING)->string_, type->string_) == 0);
    FUZZ_CHECK(std::strcmp(member(metadata, "record_id", JSON_STRING)->string_, id->string_) == 0);
    FUZZ_CHECK(std::strcmp(member(metadata, "field", JSON_STRING)->string_, field) == 0);
    const std::string variant_id = member(metadata, "variant_id", JSON_STRING)->string_;
    FUZZ_CHECK(!variant_id.empty() && variant_id.size() <= 9 && variant_id[0] != '0' &&
               variant_id.find_first_not_of("0123456789") == std::string::npos);
    const long number = std::stol(variant_id);
    FUZZ_CHECK(number > previous);
    if (previous == 0) {
      FUZZ_CHECK((number == 1) == first_prints.has_value());
      if (first_prints) FUZZ_CHECK(hexes == *first_prints);
    }
    previous = number;
  }
  FUZZ_CHECK(count <= max_assets);
  FUZZ_CHECK(!single || count == 1);
  if (count == 0) FUZZ_CHECK(!first_prints.has_value());
}

}  // namespace korvi::fuzz
