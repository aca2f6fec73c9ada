// Turns a batch of input records into output lines (through the library's
// assets_from_* exports) and reject lines.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include <korvi/key.h>

#include "mapping.h"
#include "readers.h"

namespace korvi_cli {

// What the workers count for the summary.
struct RecordCounters {
  std::atomic<uint64_t> dates_not_understood{0};  // fingerprinted from their digits as written
  std::atomic<uint64_t> names_trimmed{0};         // given assets only once stray punctuation was trimmed
};

struct RecordContext {
  Mapping mapping;
  std::string record_type;
  bool csv = true;
  size_t header_columns = 0;  // CSV: fields every row must have
  char delimiter = ',';
  size_t max_record_bytes = 0;  // for the reason given for a record over it
  bool day_first = false;     // NN/NN/YYYY is day, month, year
  std::string phone_country;  // dropped from the front of phone numbers; empty: none
  RecordCounters* counters = nullptr;
  const korvi_key* key = nullptr;  // keyed fingerprints when set
  std::string key_id;
};

// The eight digits YYYYMMDD of a written date of birth (YYYY-MM-DD,
// YYYY/MM/DD, YYYYMMDD, MM/DD/YYYY or DD/MM/YYYY, DD.MM.YYYY), or empty when
// the text is no valid date in these forms.
std::string date_digits(std::string_view text, bool day_first);

// The digits of a phone number without a leading country code (written
// "+CODE", "00CODE", or CODE before more than ten digits), or empty when the
// number has none.
std::string without_country_code(std::string_view phone, const std::string& code);

// The first line of a rejects file.
extern const char kRejectsHeader[];

// Fills batch.out, batch.rejects, batch.written and batch.rejected. Safe to
// call from many threads on different batches. Throws std::bad_alloc when
// memory runs out.
void process_batch(Batch& batch, const RecordContext& context);

}  // namespace korvi_cli
