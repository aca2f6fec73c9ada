// Assets: the fingerprints of one variant of a personal field together with
// the caller's metadata, and the builders that turn a field into the JSON
// array of its assets.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct korvi_key;

namespace korvi::assets {

struct MetadataEntry {
  std::string key;
  std::string value;
};

struct Asset {
  std::vector<std::string> fingerprints;  // hex, in the order produced
  std::vector<MetadataEntry> metadata;    // insertion order; keys may repeat

  void add_metadata(std::string_view key, std::string_view value) {
    metadata.push_back({std::string(key), std::string(value)});
  }
};

// Appends {"fingerprints":[…],"metadata":{…}} as compact JSON. Keys and
// values that are not valid UTF-8 are written with U+FFFD in place of each
// ill-formed sequence; they must hold no zero byte.
void append_asset_json(const Asset& asset, std::string& out);

// The sorted, de-duplicated fingerprints of text cleaned with mode and cut as
// flags say; nullopt when the text is not valid UTF-8 or cleans to 11 code
// points or fewer.
std::optional<std::vector<std::string>> fingerprints_from_string(std::string_view text, int mode,
                                                                 uint32_t flags,
                                                                 const korvi_key* key = nullptr);

// The one fingerprint of every byte of text as it stands (no cleaning).
std::vector<std::string> raw_fingerprints_from_string(std::string_view text, uint32_t flags,
                                                      const korvi_key* key = nullptr);

// A variant longer than this many code points is tiled; a shorter one is
// hashed whole.
inline constexpr size_t kWholeTextCodepoints = 11;

// The builders return the compact JSON array of assets. With a key, every
// fingerprint is keyed (the e-mail double hash at both steps). Record type and id
// are passed through unchanged; every absent field, and any field that is not
// valid UTF-8 (except the middle name, which then counts as absent), gives
// "[]".
std::string json_assets_from_variants(std::string_view record_type, std::string_view record_id,
                                      std::string_view field,
                                      const std::optional<std::vector<std::string>>& variants,
                                      const korvi_key* key = nullptr);
std::string json_assets_from_name(std::string_view record_type, std::string_view record_id,
                                  std::optional<std::string_view> first,
                                  std::optional<std::string_view> middle,
                                  std::optional<std::string_view> last,
                                  const korvi_key* key = nullptr);
std::string json_assets_from_address(std::string_view record_type, std::string_view record_id,
                                     std::optional<std::string_view> address,
                                     const korvi_key* key = nullptr);
std::string json_assets_from_city_state_zip(std::string_view record_type, std::string_view record_id,
                                            std::optional<std::string_view> city,
                                            std::optional<std::string_view> state,
                                            std::optional<std::string_view> zip,
                                            const korvi_key* key = nullptr);
// One asset of the whole cleaned value.
std::string json_assets_from_raw(std::string_view record_type, std::string_view record_id,
                                 std::string_view field, int mode, std::optional<std::string_view> value,
                                 const korvi_key* key = nullptr);
// One asset holding the fingerprint of the hex text of the cleaned value's
// fingerprint, so the value's own fingerprint never appears.
std::string json_assets_from_email(std::string_view record_type, std::string_view record_id,
                                   std::string_view field, int mode, std::optional<std::string_view> value,
                                   const korvi_key* key = nullptr);
std::string json_assets_from_email_address(std::string_view record_type, std::string_view record_id,
                                           std::optional<std::string_view> email_address,
                                           const korvi_key* key = nullptr);
std::string json_assets_from_ssn(std::string_view record_type, std::string_view record_id,
                                 std::optional<std::string_view> ssn,
                                 const korvi_key* key = nullptr);
std::string json_assets_from_phone_number(std::string_view record_type, std::string_view record_id,
                                          std::optional<std::string_view> phone_number,
                                          const korvi_key* key = nullptr);

}  // namespace korvi::assets
