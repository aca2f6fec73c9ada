// korvi command: the options of each subcommand, what they run, and the
// small helpers every part of the command shares.
#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace korvi_cli {

// Exit statuses of the command.
constexpr int kExitOk = 0;        // every record or text was handled
constexpr int kExitRejected = 1;  // some records or texts were rejected
constexpr int kExitError = 2;     // usage or I/O error

// Bad options or a mapping that does not fit the input: exit status 2.
struct UsageError : std::runtime_error {
  using std::runtime_error::runtime_error;
};
// A file that cannot be opened, read or written: exit status 2.
struct IoError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

struct AssetsOptions {
  std::string input = "-";
  std::string output = "-";
  std::string rejects;  // empty: standard error
  std::string format;   // "csv", "jsonl", or empty to go by the file name
  std::string delimiter = ",";
  // Column mappings; empty means not given.
  std::string name, address, city_state_zip, email, ssn, phone, id;
  std::string record_type = "person";
  bool no_guess = false;
  unsigned threads = 0;  // 0: one per core
  size_t batch_records = 128;
  bool quiet = false;
  std::string shard;  // "I/N", or empty for the whole input
  // "gz", "zst" or "none"; empty: by the file name (.gz, .zst).
  std::string decompress, compress;
  int compression_level = 0;  // 0: the fastest level of each format
};

struct TextOptions {
  std::string mode = "text";
  bool tiled = false, short_form = false, raw = false, boolean = false, parse_only = false;
  std::vector<std::string> texts;
};

int run_assets(const AssetsOptions& options);
int run_fingerprint(const TextOptions& options);
int run_clean(const TextOptions& options);
int run_version();

// "korvi: <message>" on standard error.
void print_error(std::string_view message);

// Whether bytes are well-formed UTF-8 (no overlong forms, surrogates or
// code points beyond U+10FFFF).
bool valid_utf8(std::string_view bytes) noexcept;

// Appends text as a JSON string, escaped the way the library escapes
// metadata (control characters as \u00XX with upper-case hex digits).
void append_json_string(std::string& out, std::string_view text);

// Appends one field in CSV quoting (quoted only when it must be).
void append_csv_field(std::string& out, std::string_view field, char delimiter);

}  // namespace korvi_cli
