// Streaming readers of CSV and JSON Lines input, cutting records into
// batches that the worker threads process.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "compressed_io.h"

namespace korvi_cli {

// One input record: its fields live in the batch's data.
struct Row {
  uint64_t line = 0;    // physical line on which the record starts, from 1
  uint64_t number = 0;  // position among the records, from 1
  uint32_t first = 0;   // index of its first field in Batch::fields
  uint32_t count = 0;   // number of fields (JSON Lines: 1, the whole line)
  bool unterminated = false;  // a quoted field ran to the end of the input
  bool too_long = false;      // over the record size limit: no fields kept (count 0)
};

// What a record read costs toward the record size limit: its bytes, and in
// CSV 16 more for each field (the room each takes besides its bytes).
constexpr size_t kFieldCost = 16;

struct Batch {
  uint64_t seq = 0;
  // Field bytes back to back, each followed by a zero byte so it can be
  // handed to C functions as it is.
  std::string data;
  struct Span {
    size_t offset, length;
  };
  std::vector<Span> fields;
  std::vector<Row> rows;
  uint64_t input_end = 0;  // input bytes consumed when the batch was closed

  // Filled by a worker.
  std::string out, rejects;
  uint64_t written = 0, rejected = 0;

  std::string_view field(size_t i) const { return {data.data() + fields[i].offset, fields[i].length}; }
  const char* c_field(size_t i) const { return data.data() + fields[i].offset; }
  void clear();
  void add_field(std::string_view bytes);
};

// A file or standard input ("-"), read in large blocks and decompressed when
// the name ends in .gz or .zst, or as decompress ("gz", "zst", "none") says;
// or bytes already in memory (tests and fuzzing), read the same way.
class Input {
 public:
  explicit Input(const std::string& path, const std::string& decompress = "");  // throws IoError
  // The bytes must outlive the Input. Each read hands over at most piece
  // bytes, as a pipe may.
  Input(std::string_view bytes, std::string name, size_t piece);
  ~Input();
  Input(const Input&) = delete;
  Input& operator=(const Input&) = delete;
  // Reads up to size bytes (decompressed); 0 at the end. Throws IoError.
  size_t read(char* buffer, size_t size);
  const std::string& name() const { return name_; }
  // Size in bytes when the input is a regular file, else -1.
  int64_t size() const { return size_; }
  // Bytes read from the file itself (compressed, if it is).
  uint64_t consumed() const { return consumed_; }

 private:
  size_t read_raw(char* buffer, size_t size);
  std::unique_ptr<Decompressor> decompressor_;
  int fd_ = -1;
  bool owned_ = false;
  std::string name_;
  int64_t size_ = -1;
  uint64_t consumed_ = 0;
  std::string_view memory_;  // what is left to read, for an Input of bytes
  bool in_memory_ = false;
  size_t piece_ = SIZE_MAX;
};

class Reader {
 public:
  virtual ~Reader() = default;
  // CSV: the header row. JSON Lines: the keys of the first record, which
  // stays a record. Empty for empty input. Call before next().
  virtual const std::vector<std::string>& header() = 0;
  // The next batch of records, or null at the end of the input. Throws IoError.
  std::unique_ptr<Batch> next();
  // Batches handed back for reuse of their storage.
  void recycle(std::unique_ptr<Batch> batch);
  bool csv() const { return csv_; }
  char delimiter() const { return delimiter_; }

 protected:
  Reader(Input& input, size_t batch_records, bool csv, char delimiter, size_t max_record_bytes);
  // Reads and cuts more input into ready_; false once the input is used up
  // and every record is in ready_.
  virtual bool advance() = 0;
  // Closes the current batch when it holds enough records.
  void row_done();
  Batch& current();
  void close_current();
  // The next piece of input, at most 64 KiB so that one call never cuts
  // more than a few batches; false at the end of the input. Drops a
  // byte-order mark at the start.
  bool next_slice(const char*& bytes, size_t& length);
  size_t read_block();

  Input& input_;
  std::vector<char> block_;
  size_t block_used_ = 0, block_length_ = 0;
  size_t batch_records_;
  size_t batch_bytes_ = 1 << 20;
  size_t max_record_bytes_;
  bool csv_;
  char delimiter_;
  bool started_ = false;
  uint64_t records_ = 0;
  std::unique_ptr<Batch> current_;
  std::deque<std::unique_ptr<Batch>> ready_;
  std::vector<std::unique_ptr<Batch>> spare_;
};

// A record larger than max_record_bytes (see kFieldCost) is not kept: it is
// passed over to its end and handed on as a row marked too_long, so that one
// enormous record cannot exhaust memory. A CSV header row that large is an
// IoError.
std::unique_ptr<Reader> make_csv_reader(Input& input, size_t batch_records, char delimiter,
                                        size_t max_record_bytes);
std::unique_ptr<Reader> make_jsonl_reader(Input& input, size_t batch_records, size_t max_record_bytes);

}  // namespace korvi_cli
