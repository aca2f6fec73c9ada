// The korvi command's JSON Lines reader and record writer over arbitrary
// input. Layout: read size (0: all at once), records per batch, record size
// limit (see cli_fuzz.h), then the text.
//
// The records are exactly the input's non-blank lines (cut here
// independently), each written or rejected exactly once with its line
// number, a rejected one with its line as it was, or none when the line is
// over the size limit; the keys read for the mapping are those of the first
// line that is an object.
#include <nlohmann/json.hpp>

#include "fuzz/cli_fuzz.h"

namespace {

struct Line {
  uint64_t number;
  std::string text;
};

// Non-blank lines: "\n" ends a line, one "\r" before it is dropped, and
// lines of spaces, tabs and CRs are skipped. A byte-order mark at the start
// is not part of the text.
std::vector<Line> non_blank_lines(std::string_view text) {
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  std::vector<Line> lines;
  uint64_t number = 0;
  while (!text.empty()) {
    const size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    ++number;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.find_first_not_of(" \t\r") != std::string_view::npos) lines.push_back({number, std::string(line)});
  }
  return lines;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  korvi::fuzz::Input in(data, size);
  const auto setup = korvi::fuzz::reader_setup(in);
  const std::string text = in.rest();
  const std::vector<Line> expected = non_blank_lines(text);

  korvi_cli::Input input(text, "fuzz", setup.piece);
  auto reader = korvi_cli::make_jsonl_reader(input, setup.batch_records, setup.max_record_bytes);
  const std::vector<std::string> header = reader->header();
  // The keys are those of the first line that is an object, among the
  // first 1000 (inputs here are far below the byte bound), lines over the
  // size limit passed over. A line too deep for a tree ends the check.
  std::vector<std::string> keys;
  bool known = true;
  for (size_t i = 0; i < expected.size() && i < 1000; ++i) {
    if (expected[i].text.size() > setup.max_record_bytes) continue;
    if (!korvi_cli::json_depth_within(expected[i].text, korvi_cli::kMaxJsonDepth)) {
      known = false;
      break;
    }
    const auto value = nlohmann::ordered_json::parse(expected[i].text, nullptr, false);
    if (!value.is_object()) continue;
    for (const auto& item : value.items()) keys.push_back(item.key());
    break;
  }
  if (known) FUZZ_CHECK(header == keys);

  // The first keys feed the SSN, the e-mail address and the record id.
  korvi_cli::RecordContext context;
  context.csv = false;
  const korvi_cli::Slot slots[] = {korvi_cli::kSsn, korvi_cli::kEmail, korvi_cli::kId};
  const char* fallback[] = {"ssn", "email", ""};
  for (size_t i = 0; i < 3; ++i)
    context.mapping.column[slots[i]] = i < header.size() ? header[i] : fallback[i];
  context.mapping.index.fill(-1);
  context.max_record_bytes = setup.max_record_bytes;
  context.mapping.field_on[korvi_cli::kSsnField] = true;
  context.mapping.field_on[korvi_cli::kEmailAddress] = true;

  uint64_t last_line = 0, last_number = 0;
  size_t next = 0;
  while (auto batch = reader->next()) {
    korvi::fuzz::check_batch(*batch, last_line, last_number);
    korvi_cli::process_batch(*batch, context);
    const auto rejects = korvi::fuzz::check_processed(*batch);
    for (const auto& row : batch->rows) {
      FUZZ_CHECK(next < expected.size());
      FUZZ_CHECK(row.line == expected[next].number);
      const bool too_long = expected[next].text.size() > setup.max_record_bytes;
      FUZZ_CHECK(row.too_long == too_long);
      FUZZ_CHECK(row.count == (too_long ? 0 : 1));
      if (!too_long) FUZZ_CHECK(batch->field(row.first) == expected[next].text);
      auto it = rejects.find(row.line);
      FUZZ_CHECK(it != rejects.end() || !too_long);
      if (it != rejects.end()) FUZZ_CHECK(it->second.second == (too_long ? "" : expected[next].text));
      ++next;
    }
    reader->recycle(std::move(batch));
  }
  FUZZ_CHECK(next == expected.size());
  return 0;
}
