// Shared by the fuzz targets of the korvi command's readers: reading every
// batch of an input held in memory, checking the batches' bookkeeping, and
// reading back what the record writer produced.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/fuzz_util.h"
#include "readers.h"
#include "records.h"

namespace korvi::fuzz {

// How the fuzzer's first three bytes set up a reader: how much each read of
// the input hands over (as a pipe would), the records per batch, and the
// record size limit (small, so that records pass it).
struct ReaderSetup {
  size_t piece;
  size_t batch_records;
  size_t max_record_bytes;
};

inline ReaderSetup reader_setup(Input& in) {
  const uint8_t piece = in.byte();
  const uint8_t batch = in.byte();
  const uint8_t limit = in.byte();
  return {piece == 0 ? SIZE_MAX : piece, 1u + batch % 8u, limit == 0 ? size_t{16} << 20 : 16u * limit};
}

// Checks one batch's rows against its fields and data: rows in input order,
// numbered one after another, their fields back to back and zero-ended.
inline void check_batch(const korvi_cli::Batch& batch, uint64_t& last_line, uint64_t& last_number) {
  FUZZ_CHECK(!batch.rows.empty());
  size_t next_field = 0;
  for (const korvi_cli::Row& row : batch.rows) {
    FUZZ_CHECK(row.line > last_line);
    FUZZ_CHECK(row.number == last_number + 1);
    FUZZ_CHECK(row.first == next_field);
    FUZZ_CHECK(row.too_long ? row.count == 0 : row.count >= 1);
    last_line = row.line;
    last_number = row.number;
    next_field += row.count;
  }
  FUZZ_CHECK(next_field == batch.fields.size());
  for (const auto& span : batch.fields) {
    FUZZ_CHECK(span.offset + span.length < batch.data.size());
    FUZZ_CHECK(batch.data[span.offset + span.length] == '\0');
  }
}

// One record of CSV text written by the command (RFC 4180, fields quoted
// only when needed, "\n" after each record); false when the text is not
// well-formed. Written here rather than with libcsv, which the command
// itself reads with.
inline bool next_csv_record(std::string_view& text, std::vector<std::string>& fields) {
  fields.assign(1, std::string());
  size_t i = 0;
  for (;;) {
    if (i == text.size()) return false;  // every record ends with a line end
    char c = text[i];
    if (c == '"' && fields.back().empty()) {
      for (++i;; ++i) {
        if (i == text.size()) return false;
        if (text[i] != '"') {
          fields.back().push_back(text[i]);
        } else if (i + 1 < text.size() && text[i + 1] == '"') {
          fields.back().push_back('"');
          ++i;
        } else {
          break;
        }
      }
      ++i;
      if (i == text.size() || (text[i] != ',' && text[i] != '\n')) return false;
      continue;
    }
    if (c == '"' || c == '\r') return false;  // a quote or CR outside quotes
    ++i;
    if (c == ',') fields.emplace_back();
    else if (c == '\n') break;
    else fields.back().push_back(c);
  }
  text.remove_prefix(i);
  return true;
}

// The rejects text of one batch: line number -> (reason, record). Checks its
// form: three fields a record, lines increasing.
inline std::map<uint64_t, std::pair<std::string, std::string>> read_rejects(std::string_view text) {
  std::map<uint64_t, std::pair<std::string, std::string>> rejects;
  std::vector<std::string> fields;
  uint64_t last = 0;
  while (!text.empty()) {
    FUZZ_CHECK(next_csv_record(text, fields));
    FUZZ_CHECK(fields.size() == 3);
    FUZZ_CHECK(!fields[0].empty() && fields[0].size() <= 20 &&
               fields[0].find_first_not_of("0123456789") == std::string::npos);
    const uint64_t line = std::stoull(fields[0]);
    FUZZ_CHECK(line > last);
    FUZZ_CHECK(!fields[1].empty());
    last = line;
    rejects[line] = {fields[1], fields[2]};
  }
  return rejects;
}

// Checks what process_batch made of a batch: every row written or rejected,
// exactly once and in order, each output line a JSON object of that record.
// Returns the rejects by line.
inline std::map<uint64_t, std::pair<std::string, std::string>> check_processed(
    const korvi_cli::Batch& batch) {
  auto rejects = read_rejects(batch.rejects);
  FUZZ_CHECK(batch.rejected == rejects.size());
  FUZZ_CHECK(batch.written + batch.rejected == batch.rows.size());
  std::string_view out = batch.out;
  uint64_t written = 0;
  for (const korvi_cli::Row& row : batch.rows) {
    if (rejects.count(row.line) != 0) continue;
    const size_t end = out.find('\n');
    FUZZ_CHECK(end != std::string_view::npos);
    const std::string line(out.substr(0, end));
    out.remove_prefix(end + 1);
    FUZZ_CHECK(json_validate(line.c_str()));
    FUZZ_CHECK(line.rfind("{\"record_id\":", 0) == 0);
    ++written;
  }
  FUZZ_CHECK(out.empty());
  FUZZ_CHECK(written == batch.written);
  return rejects;
}

}  // namespace korvi::fuzz
