// C exports of the asset builders: compact JSON arrays of assets.
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>

#include "assets/assets.h"
#include "base/boundary.h"
#include "korvi/assets.h"

using korvi::base::guarded;
using korvi::base::to_c_string;

namespace {

constexpr std::string_view kNoAssets = "[]";

// Runs a builder; NULL only when memory runs out.
template <class Build>
char* export_text(Build&& build) noexcept {
  return guarded([&]() -> char* { return to_c_string(build()); }, static_cast<char*>(nullptr));
}

bool all_present(std::initializer_list<const char*> arguments) noexcept {
  for (const char* argument : arguments) {
    if (argument == nullptr) return false;
  }
  return true;
}

}  // namespace

extern "C" {

KORVI_API char* assets_from_name(const char* record_type, const char* record_id, const char* first_name,
                                 const char* middle_name, const char* last_name) noexcept {
  if (!all_present({record_type, record_id, first_name, last_name})) return to_c_string(kNoAssets);
  return export_text([&] {
    std::optional<std::string_view> middle;
    if (middle_name != nullptr) middle = middle_name;
    return korvi::assets::json_assets_from_name(record_type, record_id, first_name, middle, last_name);
  });
}

KORVI_API char* assets_from_address(const char* record_type, const char* record_id,
                                    const char* address) noexcept {
  if (!all_present({record_type, record_id, address})) return to_c_string(kNoAssets);
  return export_text([&] { return korvi::assets::json_assets_from_address(record_type, record_id, address); });
}

KORVI_API char* assets_from_city_state_zip(const char* record_type, const char* record_id, const char* city,
                                           const char* state, const char* zip) noexcept {
  if (!all_present({record_type, record_id, city, state, zip})) return to_c_string(kNoAssets);
  return export_text(
      [&] { return korvi::assets::json_assets_from_city_state_zip(record_type, record_id, city, state, zip); });
}

KORVI_API char* assets_from_email_address(const char* record_type, const char* record_id,
                                          const char* email_address) noexcept {
  if (!all_present({record_type, record_id, email_address})) return to_c_string(kNoAssets);
  return export_text(
      [&] { return korvi::assets::json_assets_from_email_address(record_type, record_id, email_address); });
}

KORVI_API char* assets_from_ssn(const char* record_type, const char* record_id, const char* ssn) noexcept {
  if (!all_present({record_type, record_id, ssn})) return to_c_string(kNoAssets);
  return export_text([&] { return korvi::assets::json_assets_from_ssn(record_type, record_id, ssn); });
}

KORVI_API char* assets_from_phone_number(const char* record_type, const char* record_id,
                                         const char* phone_number) noexcept {
  if (!all_present({record_type, record_id, phone_number})) return to_c_string(kNoAssets);
  return export_text(
      [&] { return korvi::assets::json_assets_from_phone_number(record_type, record_id, phone_number); });
}

}  // extern "C"
