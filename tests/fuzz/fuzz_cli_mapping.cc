// The korvi command's column mapping over arbitrary options and column
// names. Layout: a flags byte (bit 0: guess, bit 1: CSV header), then texts
// ended by zero bytes: --name, --address, --city-state-zip, --email, --ssn,
// --phone, --id, then the column names.
//
// Only usage errors may be thrown. A mapping that resolves maps at least one
// field, each field on exactly when its needed columns are mapped, each
// mapped column found in a CSV header under its own name, an option's
// column kept over any guess; and resolving it again changes nothing.
#include <cctype>

#include "fuzz/cli_fuzz.h"
#include "mapping.h"

namespace {

using namespace korvi_cli;

bool same_ignoring_case(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  return true;
}

// The columns each field needs, and those it may do without.
struct FieldSlots {
  Field field;
  std::vector<Slot> needed, optional;
};
const FieldSlots kFieldSlots[] = {
    {kName, {kFirst, kLast}, {kMiddle}},
    {kAddressField, {kAddress}, {}},
    {kCityStateZip, {kCity, kState, kZip}, {}},
    {kEmailAddress, {kEmail}, {}},
    {kSsnField, {kSsn}, {}},
    {kPhoneNumber, {kPhone}, {}},
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  korvi::fuzz::Input in(data, size);
  const uint8_t flags = in.byte();
  const bool guess = flags & 1, header_fixed = flags & 2;
  AssetsOptions options;
  for (std::string* option : {&options.name, &options.address, &options.city_state_zip, &options.email,
                              &options.ssn, &options.phone, &options.id})
    *option = in.until_zero();
  std::vector<std::string> columns;
  while (in.left() > 0) columns.push_back(in.until_zero());

  Mapping requested, resolved;
  try {
    requested = mapping_from_options(options);
    resolved = resolve_mapping(requested, columns, guess, header_fixed);
  } catch (const UsageError&) {
    return 0;
  }

  FUZZ_CHECK(resolved.any_field());
  for (const auto& f : kFieldSlots) {
    bool needed = true, any = false;
    for (Slot s : f.needed) needed = needed && !resolved.column[s].empty();
    for (Slot s : f.needed) any = any || !resolved.column[s].empty();
    for (Slot s : f.optional) any = any || !resolved.column[s].empty();
    FUZZ_CHECK(resolved.field_on[f.field] == (needed && any));
  }
  for (int s = 0; s < kSlots; ++s) {
    const std::string& column = resolved.column[s];
    if (!requested.column[s].empty()) {
      FUZZ_CHECK(header_fixed ? same_ignoring_case(column, requested.column[s]) : column == requested.column[s]);
    }
    if (column.empty() || !header_fixed) {
      FUZZ_CHECK(resolved.index[s] == -1);
    } else {
      FUZZ_CHECK(resolved.index[s] >= 0 && static_cast<size_t>(resolved.index[s]) < columns.size());
      FUZZ_CHECK(columns[resolved.index[s]] == column);
    }
    if (!column.empty() && requested.column[s].empty()) {
      // A guess: only with guessing on, and only a column of the input.
      FUZZ_CHECK(guess);
      bool present = false;
      for (const auto& c : columns) present = present || c == column;
      FUZZ_CHECK(present);
    }
  }

  Mapping again;
  try {
    again = resolve_mapping(resolved, columns, guess, header_fixed);
  } catch (const UsageError&) {
    FUZZ_CHECK(false);
  }
  FUZZ_CHECK(again.column == resolved.column);
  FUZZ_CHECK(again.index == resolved.index);
  FUZZ_CHECK(again.field_on == resolved.field_on);
  return 0;
}
