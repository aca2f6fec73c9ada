#include "assets/assets.h"

#include <charconv>

#include "base/utf8.h"
#include "core/fingerprints.h"
#include "json/literal.h"
#include "korvi/common.h"
#include "text/clean.h"
#include "variants/variants.h"

namespace korvi::assets {
namespace {

constexpr uint32_t kTiledFlags = FINGERPRINT_TILED | FINGERPRINT_SHORT;
constexpr uint32_t kWholeFlags = FINGERPRINT_SHORT;

std::optional<std::string> clean(std::optional<std::string_view> text, int mode) {
  if (!text) return std::nullopt;
  return text::clean(*text, mode);
}

std::optional<std::string_view> view(const std::optional<std::string>& text) {
  if (!text) return std::nullopt;
  return std::string_view(*text);
}

std::string single_asset_array(std::string_view record_type, std::string_view record_id,
                               std::string_view field, std::vector<std::string> fingerprints) {
  Asset asset;
  asset.fingerprints = std::move(fingerprints);
  asset.add_metadata("record_type", record_type);
  asset.add_metadata("record_id", record_id);
  asset.add_metadata("field", field);
  asset.add_metadata("variant_id", "1");
  std::string out = "[";
  append_asset_json(asset, out);
  out.push_back(']');
  return out;
}

}  // namespace

void append_asset_json(const Asset& asset, std::string& out) {
  out.append("{\"fingerprints\":[");
  for (size_t i = 0; i < asset.fingerprints.size(); ++i) {
    if (i != 0) out.push_back(',');
    json::append_string_literal(asset.fingerprints[i], out);
  }
  out.append("],\"metadata\":{");
  for (size_t i = 0; i < asset.metadata.size(); ++i) {
    if (i != 0) out.push_back(',');
    json::append_string_literal(asset.metadata[i].key, out);
    out.push_back(':');
    json::append_string_literal(asset.metadata[i].value, out);
  }
  out.append("}}");
}

std::optional<std::vector<std::string>> fingerprints_from_string(std::string_view text, int mode,
                                                                 uint32_t flags,
                                                                 const korvi_key* key) {
  core::Fingerprints set((flags & FINGERPRINT_SHORT) != 0, key);
  if (core::fingerprint_text(text, mode, flags, set) != STATUS_OK) return std::nullopt;
  std::vector<std::string> out;
  out.reserve(set.size());
  for (size_t i = 0; i < set.size(); ++i) out.push_back(set.hex(i));
  return out;
}

std::vector<std::string> raw_fingerprints_from_string(std::string_view text, uint32_t flags,
                                                      const korvi_key* key) {
  const bool short_form = (flags & FINGERPRINT_SHORT) != 0;
  char hex[KORVI_FINGERPRINT_DIGITS + 1];
  core::hash_hex(text, short_form, hex, key);
  return {std::string(hex, short_form ? KORVI_SHORT_FINGERPRINT_DIGITS : KORVI_FINGERPRINT_DIGITS)};
}

std::string json_assets_from_variants(std::string_view record_type, std::string_view record_id,
                                      std::string_view field,
                                      const std::optional<std::vector<std::string>>& variants,
                                      const korvi_key* key) {
  std::string out = "[";
  if (variants) {
    // Every asset carries the same metadata but for its number, so that part
    // is escaped once; fingerprints are hex and are written without escaping.
    std::string metadata = ",\"metadata\":{\"record_type\":";
    json::append_string_literal(record_type, metadata);
    metadata.append(",\"record_id\":");
    json::append_string_literal(record_id, metadata);
    metadata.append(",\"field\":");
    json::append_string_literal(field, metadata);
    metadata.append(",\"variant_id\":\"");
    core::Fingerprints tiles(true, key);
    char digits[KORVI_SHORT_FINGERPRINT_DIGITS + 1];
    bool first = true;
    int counter = 0;
    for (const std::string& variant : *variants) {
      // Counted before anything else: a skipped variant keeps its number.
      ++counter;
      const bool tiled = base::count_codepoints(variant) > kWholeTextCodepoints;
      // Cleaned again; a comma variant of 12 code points can shrink to 11
      // and then has no fingerprints.
      if (tiled && core::fingerprint_text(variant, CLEAN_TEXT, kTiledFlags, tiles) != STATUS_OK) {
        continue;
      }
      if (!first) out.push_back(',');
      first = false;
      out.append("{\"fingerprints\":");
      if (tiled) {
        tiles.append_json_array(out);
      } else {
        core::hash_hex(variant, true, digits, key);
        out.append("[\"");
        out.append(digits, KORVI_SHORT_FINGERPRINT_DIGITS);
        out.append("\"]");
      }
      out.append(metadata);
      char number[16];
      out.append(number, std::to_chars(number, number + sizeof number, counter).ptr);
      out.append("\"}}");
    }
  }
  out.push_back(']');
  return out;
}

std::string json_assets_from_name(std::string_view record_type, std::string_view record_id,
                                  std::optional<std::string_view> first,
                                  std::optional<std::string_view> middle,
                                  std::optional<std::string_view> last,
                                  const korvi_key* key) {
  const auto first_clean = clean(first, CLEAN_TEXT);
  const auto middle_clean = clean(middle, CLEAN_TEXT);  // invalid UTF-8: no middle name
  const auto last_clean = clean(last, CLEAN_TEXT);
  const auto variants =
      variants::full_name_variants(view(first_clean), view(middle_clean), view(last_clean));
  return json_assets_from_variants(record_type, record_id, "name", variants, key);
}

std::string json_assets_from_address(std::string_view record_type, std::string_view record_id,
                                     std::optional<std::string_view> address,
                                     const korvi_key* key) {
  const auto cleaned = clean(address, CLEAN_TEXT);
  return json_assets_from_variants(record_type, record_id, "address",
                                   variants::address_variants(view(cleaned)), key);
}

std::string json_assets_from_city_state_zip(std::string_view record_type, std::string_view record_id,
                                            std::optional<std::string_view> city,
                                            std::optional<std::string_view> state,
                                            std::optional<std::string_view> zip,
                                            const korvi_key* key) {
  const auto city_clean = clean(city, CLEAN_TEXT);
  const auto state_clean = clean(state, CLEAN_TEXT);
  const auto zip_clean = clean(zip, CLEAN_TEXT);
  const auto variants =
      variants::city_state_zip_variants(view(city_clean), view(state_clean), view(zip_clean));
  return json_assets_from_variants(record_type, record_id, "city_state_zip", variants, key);
}

std::string json_assets_from_raw(std::string_view record_type, std::string_view record_id,
                                 std::string_view field, int mode, std::optional<std::string_view> value,
                                 const korvi_key* key) {
  const auto cleaned = clean(value, mode);
  if (!cleaned) return "[]";
  return single_asset_array(record_type, record_id, field, raw_fingerprints_from_string(*cleaned, kWholeFlags, key));
}

std::string json_assets_from_email(std::string_view record_type, std::string_view record_id,
                                   std::string_view field, int mode, std::optional<std::string_view> value,
                                   const korvi_key* key) {
  const auto cleaned = clean(value, mode);
  if (!cleaned) return "[]";
  const auto inner = raw_fingerprints_from_string(*cleaned, kWholeFlags, key);
  return single_asset_array(record_type, record_id, field, raw_fingerprints_from_string(inner.front(), kWholeFlags, key));
}

std::string json_assets_from_email_address(std::string_view record_type, std::string_view record_id,
                                           std::optional<std::string_view> email_address,
                                           const korvi_key* key) {
  return json_assets_from_email(record_type, record_id, "email_address", CLEAN_CODE, email_address, key);
}

std::string json_assets_from_ssn(std::string_view record_type, std::string_view record_id,
                                 std::optional<std::string_view> ssn,
                                 const korvi_key* key) {
  return json_assets_from_raw(record_type, record_id, "ssn", CLEAN_DIGITS, ssn, key);
}

std::string json_assets_from_phone_number(std::string_view record_type, std::string_view record_id,
                                          std::optional<std::string_view> phone_number,
                                          const korvi_key* key) {
  return json_assets_from_raw(record_type, record_id, "phone_number", CLEAN_DIGITS, phone_number, key);
}

}  // namespace korvi::assets
