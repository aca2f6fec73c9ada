// The korvi command's CSV reader and record writer over arbitrary input.
// Layout: read size (0: all at once), records per batch, record size limit
// (see cli_fuzz.h), delimiter choice, then the CSV text.
//
// Every record read is written or rejected exactly once, in input order and
// on increasing lines; the rejects text is well-formed CSV; a rejected
// record's text, read again, gives back the record's own fields; and no
// record kept is over the size limit.
#include <exception>

#include "fuzz/cli_fuzz.h"

namespace {

using korvi::fuzz::Input;
using korvi_cli::Batch;

std::vector<std::string> fields_of(const Batch& batch, const korvi_cli::Row& row) {
  std::vector<std::string> fields;
  for (uint32_t i = 0; i < row.count; ++i) fields.emplace_back(batch.field(row.first + i));
  return fields;
}

// The single record of text, read after a header row; nullopt when the text
// does not hold exactly one record.
std::optional<std::vector<std::string>> read_back(const std::string& text, char delimiter) {
  const std::string input = "h\n" + text;
  korvi_cli::Input in(input, "record", SIZE_MAX);
  auto reader = korvi_cli::make_csv_reader(in, 8, delimiter, SIZE_MAX);
  reader->header();
  auto batch = reader->next();
  if (!batch || batch->rows.size() != 1 || reader->next()) return std::nullopt;
  if (batch->rows[0].unterminated) return std::nullopt;
  return fields_of(*batch, batch->rows[0]);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Input in(data, size);
  const auto setup = korvi::fuzz::reader_setup(in);
  static const char kDelimiters[] = {',', ';', '\t', '|'};
  const char delimiter = kDelimiters[in.byte() % 4];
  const std::string text = in.rest();

  korvi_cli::Input input(text, "fuzz", setup.piece);
  auto reader = korvi_cli::make_csv_reader(input, setup.batch_records, delimiter, setup.max_record_bytes);
  std::vector<std::string> header;
  try {
    header = reader->header();
  } catch (const korvi_cli::IoError&) {
    return 0;  // a header row with an open quote ends the run, as a usage error does
  }

  // The first columns feed the SSN, the e-mail address and the record id.
  korvi_cli::RecordContext context;
  context.csv = true;
  context.delimiter = delimiter;
  context.header_columns = header.size();
  context.max_record_bytes = setup.max_record_bytes;
  const korvi_cli::Slot slots[] = {korvi_cli::kSsn, korvi_cli::kEmail, korvi_cli::kId};
  for (size_t i = 0; i < 3 && i < header.size(); ++i) {
    context.mapping.column[slots[i]] = header[i];
    context.mapping.index[slots[i]] = static_cast<int>(i);
  }
  for (int s = 0; s < korvi_cli::kSlots; ++s)
    if (context.mapping.column[s].empty()) context.mapping.index[s] = -1;
  context.mapping.field_on[korvi_cli::kSsnField] = !header.empty();
  context.mapping.field_on[korvi_cli::kEmailAddress] = header.size() > 1;

  uint64_t last_line = header.empty() ? 0 : 1, last_number = 0, records = 0;
  while (auto batch = reader->next()) {
    FUZZ_CHECK(!header.empty());
    korvi::fuzz::check_batch(*batch, last_line, last_number);
    records += batch->rows.size();
    korvi_cli::process_batch(*batch, context);
    const auto rejects = korvi::fuzz::check_processed(*batch);
    for (const auto& row : batch->rows) {
      size_t cost = 0;
      for (uint32_t i = 0; i < row.count; ++i) cost += batch->field(row.first + i).size() + korvi_cli::kFieldCost;
      FUZZ_CHECK(cost <= setup.max_record_bytes);
      auto it = rejects.find(row.line);
      if (it == rejects.end()) {
        FUZZ_CHECK(!row.unterminated && row.count == header.size());
        continue;
      }
      if (row.too_long) {
        FUZZ_CHECK(it->second.second.empty());
        continue;
      }
      // What the rejects file keeps is the record itself.
      const auto again = read_back(it->second.second, delimiter);
      FUZZ_CHECK(again.has_value());
      FUZZ_CHECK(*again == fields_of(*batch, row));
    }
    reader->recycle(std::move(batch));
  }
  FUZZ_CHECK(records == last_number);
  return 0;
}
