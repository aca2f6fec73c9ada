// C exports of the keyed asset builders: the same arrays, keyed fingerprints.
#include <optional>
#include <string>
#include <string_view>

#include "assets/assets.h"
#include "base/boundary.h"
#include "korvi/key.h"

namespace {

using korvi::base::to_c_string;

// A missing key or argument gives the empty array; NULL only when memory
// runs out.
template <class Build>
char* keyed_text(bool present, Build&& build) noexcept {
  if (!present) return to_c_string("[]");
  return korvi::base::guarded([&]() -> char* { return to_c_string(build()); },
                              static_cast<char*>(nullptr));
}

}  // namespace

extern "C" {

KORVI_API char* assets_from_name_keyed(const korvi_key* key, const char* record_type,
                                       const char* record_id, const char* first_name,
                                       const char* middle_name, const char* last_name) noexcept {
  const bool present = key && record_type && record_id && first_name && last_name;
  return keyed_text(present, [&] {
    std::optional<std::string_view> middle;
    if (middle_name != nullptr) middle = middle_name;
    return korvi::assets::json_assets_from_name(record_type, record_id, first_name, middle,
                                                last_name, key);
  });
}

KORVI_API char* assets_from_address_keyed(const korvi_key* key, const char* record_type,
                                          const char* record_id, const char* address) noexcept {
  return keyed_text(key && record_type && record_id && address, [&] {
    return korvi::assets::json_assets_from_address(record_type, record_id, address, key);
  });
}

KORVI_API char* assets_from_city_state_zip_keyed(const korvi_key* key, const char* record_type,
                                                 const char* record_id, const char* city,
                                                 const char* state, const char* zip) noexcept {
  return keyed_text(key && record_type && record_id && city && state && zip, [&] {
    return korvi::assets::json_assets_from_city_state_zip(record_type, record_id, city, state, zip,
                                                          key);
  });
}

KORVI_API char* assets_from_email_address_keyed(const korvi_key* key, const char* record_type,
                                                const char* record_id,
                                                const char* email_address) noexcept {
  return keyed_text(key && record_type && record_id && email_address, [&] {
    return korvi::assets::json_assets_from_email_address(record_type, record_id, email_address,
                                                         key);
  });
}

KORVI_API char* assets_from_ssn_keyed(const korvi_key* key, const char* record_type,
                                      const char* record_id, const char* ssn) noexcept {
  return keyed_text(key && record_type && record_id && ssn, [&] {
    return korvi::assets::json_assets_from_ssn(record_type, record_id, ssn, key);
  });
}

KORVI_API char* assets_from_phone_number_keyed(const korvi_key* key, const char* record_type,
                                               const char* record_id,
                                               const char* phone_number) noexcept {
  return keyed_text(key && record_type && record_id && phone_number, [&] {
    return korvi::assets::json_assets_from_phone_number(record_type, record_id, phone_number, key);
  });
}

}  // extern "C"
