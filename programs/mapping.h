// Which input columns feed which asset field, from the options and from the
// column names of the input.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "cli.h"

namespace korvi_cli {

// One input value that some field reads.
enum Slot { kFirst, kMiddle, kLast, kAddress, kCity, kState, kZip, kEmail, kSsn, kPhone, kDob, kId, kSlots };

// Output fields, in the order they are written.
enum Field { kName, kAddressField, kCityStateZip, kEmailAddress, kSsnField, kPhoneNumber, kDateOfBirth, kFields };

// The key of each field in an output line (also the library's field names).
extern const std::array<const char*, kFields> kFieldKeys;

struct Mapping {
  // Column name read for each slot; empty when the slot is not mapped.
  std::array<std::string, kSlots> column;
  // Column index in the CSV header for each mapped slot, else -1.
  std::array<int, kSlots> index{};
  // Further columns of a slot fed by several ("--address Number,Street"),
  // joined to the first with one space; their CSV indexes.
  std::array<std::vector<std::string>, kSlots> more_columns;
  std::array<std::vector<int>, kSlots> more_index;
  std::array<bool, kFields> field_on{};
  // Option that gave each slot, for messages ("--email"), or "guessed".
  std::array<std::string, kSlots> origin;

  bool any_field() const;
};

// The mapping the options ask for, before the input's columns are known.
// Throws UsageError for malformed lists such as "--name first=A,lst=B".
Mapping mapping_from_options(const AssetsOptions& options);

// Completes a mapping against the input's column names: guesses the fields
// that no option mapped (unless guessing is off) from common column names
// and, when header_fixed (CSV), finds the index of every mapped column.
// Throws UsageError when a named column is missing or ambiguous, or when no
// field is mapped at all.
Mapping resolve_mapping(Mapping requested, const std::vector<std::string>& columns, bool guess,
                        bool header_fixed);

}  // namespace korvi_cli
