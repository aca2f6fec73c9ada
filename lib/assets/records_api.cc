// C exports of asset records, fingerprint lists and the asset trees. The
// trees are built step by step from records (list, asset, metadata, JSON),
// apart from the text writer behind the assets_from_* exports, so the two
// check each other.
#include <charconv>
#include <cstdlib>
#include <initializer_list>
#include <memory>
#include <new>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// A list that cannot grow throws instead of ending the process; the exports
// below catch it and answer NULL.
#define utarray_oom() throw std::bad_alloc()
#include "korvi/asset_records.h"

#include "assets/assets.h"
#include "capi/boundary.h"
#include "korvi/common.h"
#include "korvi/json.h"
#include "text/clean.h"
#include "variants/variants.h"

using korvi::capi::guarded;
using korvi::capi::guarded_void;

namespace {

struct JsonDeleter {
  void operator()(JsonNode* node) const noexcept { json_delete(node); }
};
using JsonPtr = std::unique_ptr<JsonNode, JsonDeleter>;

struct ListDeleter {
  void operator()(UT_array* list) const noexcept { utarray_free(list); }
};
using ListPtr = std::unique_ptr<UT_array, ListDeleter>;

struct AssetDeleter {
  void operator()(Asset* asset) const noexcept { asset_free(&asset); }
};
using AssetPtr = std::unique_ptr<Asset, AssetDeleter>;

constexpr uint32_t kTiledFlags = FINGERPRINT_TILED | FINGERPRINT_SHORT;
constexpr uint32_t kWholeFlags = FINGERPRINT_SHORT;

JsonPtr checked(JsonNode* node) {
  if (node == nullptr) throw std::bad_alloc();
  return JsonPtr(node);
}

ListPtr new_list(const UT_icd& icd) {
  UT_array* list = nullptr;
  utarray_new(list, &icd);
  return ListPtr(list);
}

// Appends with the list's own copier; when memory runs out the list is left
// as it was (utarray raises its capacity before it reallocates).
void push_back(UT_array* list, const void* item) {
  const unsigned capacity = list->n;
  try {
    utarray_push_back(list, item);
  } catch (...) {
    list->n = capacity;
    throw;
  }
}

void push_string(StringList* list, const char* text) {
  push_back(list, &text);
  // The string copier does not report a failed copy.
  if (*static_cast<char**>(utarray_back(list)) == nullptr) {
    utarray_pop_back(list);
    throw std::bad_alloc();
  }
}

ListPtr to_string_list(const std::vector<std::string>& items) {
  ListPtr list = new_list(ut_str_icd);
  for (const std::string& item : items) push_string(list.get(), item.c_str());
  return list;
}

// Lists of the element size the record expects; anything else is not read.
bool holds_strings(const UT_array* list) noexcept { return list != nullptr && list->icd.sz == sizeof(char*); }
bool holds_metadata(const UT_array* list) noexcept {
  return list != nullptr && list->icd.sz == sizeof(MetadataEntry);
}

AssetPtr new_asset(ListPtr fingerprints, ListPtr metadata) {
  if (!fingerprints) fingerprints = new_list(ut_str_icd);
  if (!metadata) metadata = new_list(ut_metadata_icd);
  auto* asset = static_cast<Asset*>(std::calloc(1, sizeof(Asset)));
  if (asset == nullptr) throw std::bad_alloc();
  asset->fingerprints = fingerprints.release();
  asset->metadata = metadata.release();
  return AssetPtr(asset);
}

void add_metadata(Asset& asset, const char* key, const char* value) {
  if (!holds_metadata(asset.metadata)) return;
  // Cast away const only for the copier, which reads the entry.
  const MetadataEntry entry{const_cast<char*>(key), const_cast<char*>(value)};
  push_back(asset.metadata, &entry);
  const auto* stored = static_cast<const MetadataEntry*>(utarray_back(asset.metadata));
  if (stored->key == nullptr || stored->value == nullptr) {
    utarray_pop_back(asset.metadata);
    throw std::bad_alloc();
  }
}

void append_member(JsonNode* object, const char* key, JsonPtr value) {
  json_append_member(object, key, value.get());
  // A key that could not be copied leaves the value unattached.
  if (value->parent == nullptr) throw std::bad_alloc();
  value.release();
}

void append_element(JsonNode* array, JsonPtr element) {
  json_append_element(array, element.get());
  if (element->parent == nullptr) throw std::bad_alloc();
  element.release();
}

JsonPtr asset_json(const Asset& asset) {
  JsonPtr result = checked(json_mkobject());
  JsonPtr fingerprints = checked(json_mkarray());
  JsonPtr metadata = checked(json_mkobject());
  if (holds_strings(asset.fingerprints)) {
    for (auto* item = static_cast<char**>(utarray_front(asset.fingerprints)); item != nullptr;
         item = static_cast<char**>(utarray_next(asset.fingerprints, item))) {
      if (*item != nullptr) append_element(fingerprints.get(), checked(json_mkstring(*item)));
    }
  }
  if (holds_metadata(asset.metadata)) {
    for (auto* entry = static_cast<MetadataEntry*>(utarray_front(asset.metadata)); entry != nullptr;
         entry = static_cast<MetadataEntry*>(utarray_next(asset.metadata, entry))) {
      if (entry->key != nullptr && entry->value != nullptr) {
        append_member(metadata.get(), entry->key, checked(json_mkstring(entry->value)));
      }
    }
  }
  append_member(result.get(), "fingerprints", std::move(fingerprints));
  append_member(result.get(), "metadata", std::move(metadata));
  return result;
}

// The metadata every asset of one call shares but for its number.
struct Caller {
  const char* record_type;
  const char* record_id;
  const char* field;
};

// One asset adopting fingerprints, with its four metadata entries, appended
// to array as JSON; the asset itself lives only for this step.
void append_asset(JsonNode* array, const Caller& caller, ListPtr fingerprints, int variant_id) {
  char number[16];
  *std::to_chars(number, number + sizeof number - 1, variant_id).ptr = '\0';
  const AssetPtr asset = new_asset(std::move(fingerprints), nullptr);
  add_metadata(*asset, "record_type", caller.record_type);
  add_metadata(*asset, "record_id", caller.record_id);
  add_metadata(*asset, "field", caller.field);
  add_metadata(*asset, "variant_id", number);
  append_element(array, asset_json(*asset));
}

// Numbered from 1 before anything else, so a skipped variant keeps its number.
void append_variant_assets(JsonNode* array, const Caller& caller, std::span<const char* const> variants) {
  int variant_id = 0;
  for (const char* variant : variants) {
    ++variant_id;
    if (variant == nullptr) continue;
    ListPtr fingerprints;
    if (korvi::text::count_codepoints(variant) > korvi::assets::kWholeTextCodepoints) {
      // Cleaned again: a comma variant of 12 code points can shrink to 11.
      const auto tiles = korvi::assets::fingerprints_from_string(variant, CLEAN_TEXT, kTiledFlags);
      if (!tiles) continue;
      fingerprints = to_string_list(*tiles);
    } else {
      fingerprints = to_string_list(korvi::assets::raw_fingerprints_from_string(variant, kWholeFlags));
    }
    append_asset(array, caller, std::move(fingerprints), variant_id);
  }
}

JsonPtr variant_assets(const Caller& caller, const std::optional<std::vector<std::string>>& variants) {
  JsonPtr array = checked(json_mkarray());
  if (variants) {
    std::vector<const char*> texts;
    texts.reserve(variants->size());
    for (const std::string& variant : *variants) texts.push_back(variant.c_str());
    append_variant_assets(array.get(), caller, texts);
  }
  return array;
}

std::optional<std::string> clean(const char* text, int mode) {
  if (text == nullptr) return std::nullopt;
  return korvi::text::clean(text, mode);
}

std::optional<std::string_view> view(const std::optional<std::string>& text) {
  if (!text) return std::nullopt;
  return std::string_view(*text);
}

bool all_present(std::initializer_list<const char*> arguments) noexcept {
  for (const char* argument : arguments) {
    if (argument == nullptr) return false;
  }
  return true;
}

// An empty array for absent arguments; NULL only when memory runs out.
template <class Build>
JsonNode* export_tree(bool present, Build&& build) noexcept {
  if (!present) return json_mkarray();
  return guarded([&]() -> JsonNode* { return build().release(); }, static_cast<JsonNode*>(nullptr));
}

}  // namespace

extern "C" {

KORVI_API void asset_new(Asset** out, StringList* fingerprints, UT_array* metadata) noexcept {
  // Adopted at once, so the lists are released on every path that fails.
  ListPtr adopted_fingerprints(fingerprints);
  ListPtr adopted_metadata(metadata);
  if (out == nullptr) return;
  *out = nullptr;
  guarded_void(
      [&] { *out = new_asset(std::move(adopted_fingerprints), std::move(adopted_metadata)).release(); });
}

KORVI_API void asset_add_metadata(Asset* asset, const char* key, const char* value) noexcept {
  if (asset == nullptr || key == nullptr || value == nullptr) return;
  guarded_void([&] { add_metadata(*asset, key, value); });
}

KORVI_API void asset_free(Asset** handle) noexcept {
  if (handle == nullptr || *handle == nullptr) return;
  Asset* asset = *handle;
  if (asset->fingerprints != nullptr) utarray_free(asset->fingerprints);
  if (asset->metadata != nullptr) utarray_free(asset->metadata);
  std::free(asset);
  *handle = nullptr;
}

KORVI_API JsonNode* asset_to_json(const Asset* asset) noexcept {
  if (asset == nullptr) return nullptr;
  return guarded([&] { return asset_json(*asset).release(); }, static_cast<JsonNode*>(nullptr));
}

KORVI_API StringList* fingerprints_from_string(const char* text, int mode, uint32_t flags) noexcept {
  if (text == nullptr) return nullptr;
  return guarded(
      [&]() -> StringList* {
        const auto prints = korvi::assets::fingerprints_from_string(text, mode, flags);
        return prints ? to_string_list(*prints).release() : nullptr;
      },
      static_cast<StringList*>(nullptr));
}

KORVI_API StringList* raw_fingerprints_from_string(const char* text, uint32_t flags) noexcept {
  if (text == nullptr) return nullptr;
  return guarded(
      [&] { return to_string_list(korvi::assets::raw_fingerprints_from_string(text, flags)).release(); },
      static_cast<StringList*>(nullptr));
}

KORVI_API JsonNode* json_assets_from_variants(const char* record_type, const char* record_id,
                                              const char* field, const StringList* variants) noexcept {
  return export_tree(all_present({record_type, record_id, field}), [&] {
    JsonPtr array = checked(json_mkarray());
    if (holds_strings(variants)) {
      const auto* first = static_cast<const char* const*>(static_cast<const void*>(variants->d));
      append_variant_assets(array.get(), {record_type, record_id, field}, {first, utarray_len(variants)});
    }
    return array;
  });
}

KORVI_API JsonNode* json_assets_from_raw(const char* record_type, const char* record_id, const char* field,
                                         int mode, const char* value) noexcept {
  return export_tree(all_present({record_type, record_id, field}), [&] {
    JsonPtr array = checked(json_mkarray());
    // A value that is absent or not valid UTF-8 has nothing to hash.
    if (const auto cleaned = clean(value, mode)) {
      append_asset(array.get(), {record_type, record_id, field},
                   to_string_list(korvi::assets::raw_fingerprints_from_string(*cleaned, kWholeFlags)), 1);
    }
    return array;
  });
}

KORVI_API JsonNode* json_assets_from_email(const char* record_type, const char* record_id, const char* field,
                                           int mode, const char* value) noexcept {
  return export_tree(all_present({record_type, record_id, field}), [&] {
    JsonPtr array = checked(json_mkarray());
    if (const auto cleaned = clean(value, mode)) {
      const auto inner = korvi::assets::raw_fingerprints_from_string(*cleaned, kWholeFlags);
      append_asset(array.get(), {record_type, record_id, field},
                   to_string_list(korvi::assets::raw_fingerprints_from_string(inner.front(), kWholeFlags)),
                   1);
    }
    return array;
  });
}

KORVI_API JsonNode* json_assets_from_name(const char* record_type, const char* record_id,
                                          const char* first_name, const char* middle_name,
                                          const char* last_name) noexcept {
  return export_tree(all_present({record_type, record_id, first_name, last_name}), [&] {
    const auto first = clean(first_name, CLEAN_TEXT);
    const auto middle = clean(middle_name, CLEAN_TEXT);  // absent or invalid: no middle name
    const auto last = clean(last_name, CLEAN_TEXT);
    return variant_assets({record_type, record_id, "name"},
                          korvi::variants::full_name_variants(view(first), view(middle), view(last)));
  });
}

KORVI_API JsonNode* json_assets_from_address(const char* record_type, const char* record_id,
                                             const char* address) noexcept {
  return export_tree(all_present({record_type, record_id, address}), [&] {
    const auto cleaned = clean(address, CLEAN_TEXT);
    return variant_assets({record_type, record_id, "address"},
                          korvi::variants::address_variants(view(cleaned)));
  });
}

KORVI_API JsonNode* json_assets_from_city_state_zip(const char* record_type, const char* record_id,
                                                    const char* city, const char* state,
                                                    const char* zip) noexcept {
  return export_tree(all_present({record_type, record_id, city, state, zip}), [&] {
    const auto city_clean = clean(city, CLEAN_TEXT);
    const auto state_clean = clean(state, CLEAN_TEXT);
    const auto zip_clean = clean(zip, CLEAN_TEXT);
    return variant_assets(
        {record_type, record_id, "city_state_zip"},
        korvi::variants::city_state_zip_variants(view(city_clean), view(state_clean), view(zip_clean)));
  });
}

KORVI_API JsonNode* json_assets_from_email_address(const char* record_type, const char* record_id,
                                                   const char* email_address) noexcept {
  return json_assets_from_email(record_type, record_id, "email_address", CLEAN_CODE, email_address);
}

KORVI_API JsonNode* json_assets_from_ssn(const char* record_type, const char* record_id,
                                         const char* ssn) noexcept {
  return json_assets_from_raw(record_type, record_id, "ssn", CLEAN_DIGITS, ssn);
}

KORVI_API JsonNode* json_assets_from_phone_number(const char* record_type, const char* record_id,
                                                  const char* phone_number) noexcept {
  return json_assets_from_raw(record_type, record_id, "phone_number", CLEAN_DIGITS, phone_number);
}

}  // extern "C"
