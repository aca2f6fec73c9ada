// korvi command: the options of each subcommand, what they run, and the
// small helpers every part of the command shares.
#pragma once

#include <korvi/key.h>

#include <cstddef>
#include <cstdint>
#include <memory>
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

// Where a key comes from: a file or an environment variable (never the
// command line). Both empty: no key, public-salt fingerprints.
struct KeyOptions {
  std::string file, env;
};

// A loaded key and its id; empty when no key was asked for.
struct KeyDeleter {
  void operator()(korvi_key* key) const { korvi_key_free(key); }
};
struct KeyHandle : std::unique_ptr<korvi_key, KeyDeleter> {
  using std::unique_ptr<korvi_key, KeyDeleter>::unique_ptr;
  std::string id;
};

struct KeygenOptions {
  std::string output = "-";
};

struct AssetsOptions {
  std::string input = "-";
  std::string output = "-";
  std::string rejects;  // empty: standard error
  std::string format;   // "csv", "jsonl", or empty to go by the file name
  std::string delimiter = ",";
  // Column mappings; empty means not given.
  std::string name, address, city_state_zip, email, ssn, phone, dob, id;
  std::string dob_order = "mdy";  // how NN/NN/YYYY reads: mdy or dmy
  std::string phone_country;      // a country code dropped from phone numbers
  std::string record_type = "person";
  bool no_guess = false;
  unsigned threads = 0;  // 0: one per core
  size_t batch_records = 128;
  size_t max_record_bytes = size_t{16} << 20;  // larger records are rejected unread
  bool quiet = false;
  KeyOptions key;
  std::string shard;  // "I/N", or empty for the whole input
  // "gz", "zst" or "none"; empty: by the file name (.gz, .zst).
  std::string decompress, compress;
  int compression_level = 0;  // 0: the fastest level of each format
};

struct LinkOptions {
  std::string left, right;
  std::string output = "-";
  std::string blocking;  // empty: the linker's default
  uint32_t cap = 100;
  uint32_t min_shared_fields = 2;
  uint32_t fit_records = 50000;
  double threshold = 0.5;
  bool all_pairs = false;
  std::string model, save_model, truth;
  uint64_t seed = 1;
  bool fix_u = false;
  unsigned threads = 0;  // 0: one per core
  bool quiet = false;
};

struct TextOptions {
  std::string mode = "text";
  bool tiled = false, short_form = false, raw = false, boolean = false, parse_only = false;
  std::vector<std::string> texts;
  KeyOptions key;
};

int run_assets(const AssetsOptions& options);
int run_link(const LinkOptions& options);
int run_fingerprint(const TextOptions& options);
int run_clean(const TextOptions& options);
int run_version();
int run_keygen(const KeygenOptions& options);
int run_key_id(const KeyOptions& options);

// The key the options name (UsageError when it cannot be read or is not 32
// to 2048 hex digits; messages never show the key), or an empty handle.
KeyHandle load_key(const KeyOptions& options);

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

// Arrays and objects nested deeper than this make a JSON line a reject: the
// JSON parser's tree and its copies recurse once per level, and a line of a
// few hundred kilobytes of brackets would otherwise overflow the stack.
constexpr size_t kMaxJsonDepth = 1000;

// Whether the brackets of a JSON text (outside its strings) nest at most
// limit deep. Looks at brackets only, so it holds for invalid text too.
bool json_depth_within(std::string_view text, size_t limit) noexcept;

}  // namespace korvi_cli
