// CSV (through libcsv) and JSON Lines readers. Both keep the physical line
// on which each record starts, for the rejects file.
#include "readers.h"

#include <csv.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <algorithm>
#include <cstring>
#include <exception>
#include <utility>
#include <nlohmann/json.hpp>
#include <unordered_set>

#include "cli.h"

namespace korvi_cli {

void Batch::clear() {
  data.clear();
  fields.clear();
  rows.clear();
  out.clear();
  rejects.clear();
  written = rejected = 0;
  input_end = 0;
}

void Batch::add_field(std::string_view bytes) {
  fields.push_back({data.size(), bytes.size()});
  data.append(bytes);
  data.push_back('\0');
}

Input::Input(const std::string& path, const std::string& decompress)
    : name_(path == "-" ? "standard input" : path) {
  if (path == "-") {
    fd_ = STDIN_FILENO;
  } else {
    fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd_ < 0) throw IoError("cannot open " + path + ": " + std::strerror(errno));
    owned_ = true;
  }
  struct stat st;
  if (::fstat(fd_, &st) == 0) {
    if (S_ISREG(st.st_mode)) size_ = st.st_size;  // for the progress estimate
    if (S_ISDIR(st.st_mode)) {
      if (owned_) ::close(fd_);
      throw IoError("cannot read " + path + ": " + std::strerror(EISDIR));
    }
  }
  const Compression kind = choose_compression(path == "-" ? "" : path, decompress, "--decompress");
  if (kind != Compression::kNone) {
    try {
      decompressor_ = make_decompressor(kind, [this](char* b, size_t n) { return read_raw(b, n); }, name_);
    } catch (...) {
      if (owned_) ::close(fd_);
      throw;
    }
  }
}

Input::Input(std::string_view bytes, std::string name, size_t piece)
    : name_(std::move(name)),
      size_(static_cast<int64_t>(bytes.size())),
      memory_(bytes),
      in_memory_(true),
      piece_(std::max<size_t>(piece, 1)) {}

Input::~Input() {
  if (owned_) ::close(fd_);
}

size_t Input::read(char* buffer, size_t size) {
  return decompressor_ ? decompressor_->read(buffer, size) : read_raw(buffer, size);
}

size_t Input::read_raw(char* buffer, size_t size) {
  if (in_memory_) {
    size = std::min({size, memory_.size(), piece_});
    if (size == 0) return 0;
    std::memcpy(buffer, memory_.data(), size);
    memory_.remove_prefix(size);
    consumed_ += size;
    return size;
  }
  for (;;) {
    ssize_t n = ::read(fd_, buffer, size);
    if (n >= 0) {
      consumed_ += static_cast<uint64_t>(n);
      return static_cast<size_t>(n);
    }
    if (errno != EINTR) throw IoError("cannot read " + name_ + ": " + std::strerror(errno));
  }
}

Reader::Reader(Input& input, size_t batch_records, bool csv, char delimiter, size_t max_record_bytes)
    : input_(input),
      // A small input needs no large block (the fuzz targets read many).
      block_(input.size() >= 0 && input.size() < (1 << 20) ? static_cast<size_t>(input.size()) + 4096 : 1 << 20),
      batch_records_(batch_records),
      max_record_bytes_(max_record_bytes),
      csv_(csv),
      delimiter_(delimiter) {}

std::unique_ptr<Batch> Reader::next() {
  while (ready_.empty()) {
    if (!advance()) {
      close_current();
      if (ready_.empty()) return nullptr;
    }
  }
  auto batch = std::move(ready_.front());
  ready_.pop_front();
  return batch;
}

void Reader::recycle(std::unique_ptr<Batch> batch) {
  if (spare_.size() >= 8) return;  // enough storage kept for reuse
  batch->clear();
  spare_.push_back(std::move(batch));
}

Batch& Reader::current() {
  if (!current_) {
    if (!spare_.empty()) {
      current_ = std::move(spare_.back());
      spare_.pop_back();
    } else {
      current_ = std::make_unique<Batch>();
    }
  }
  return *current_;
}

void Reader::close_current() {
  if (!current_ || current_->rows.empty()) return;
  current_->input_end = input_.consumed();
  ready_.push_back(std::move(current_));
}

void Reader::row_done() {
  const size_t bytes = current_->data.size() + current_->fields.size() * kFieldCost;
  if (current_->rows.size() >= batch_records_ || bytes >= batch_bytes_) close_current();
}

bool Reader::next_slice(const char*& bytes, size_t& length) {
  if (block_used_ == block_length_) {
    block_used_ = 0;
    block_length_ = read_block();
    if (block_length_ == 0) return false;
  }
  constexpr size_t kSlice = 64 << 10;
  bytes = block_.data() + block_used_;
  length = std::min(kSlice, block_length_ - block_used_);
  block_used_ += length;
  return true;
}

size_t Reader::read_block() {
  size_t n = input_.read(block_.data(), block_.size());
  if (!started_) {
    started_ = true;
    // A pipe may hand over fewer than the three bytes of a byte-order mark.
    while (n > 0 && n < 3) {
      size_t more = input_.read(block_.data() + n, block_.size() - n);
      if (more == 0) break;
      n += more;
    }
    if (n >= 3 && std::memcmp(block_.data(), "\xEF\xBB\xBF", 3) == 0) {
      std::memmove(block_.data(), block_.data() + 3, n - 3);
      n -= 3;
      // The mark may have come alone; an empty block would read as the end.
      if (n == 0) n = input_.read(block_.data(), block_.size());
    }
  }
  return n;
}

namespace {

// Line breaks inside a quoted field: LF, CRLF or a lone CR each count once.
uint64_t line_breaks(const char* p, size_t n) {
  uint64_t count = 0;
  for (size_t i = 0; i < n; ++i) {
    if (p[i] == '\n') ++count;
    else if (p[i] == '\r' && (i + 1 == n || p[i + 1] != '\n')) ++count;
  }
  return count;
}

// libcsv's parser states are private to it; this one means "inside a
// field", which with the quoted flag set is an open quotation at the end.
constexpr int kCsvFieldBegun = 2;

// Bytes at the end of libcsv's field buffer that it may still take back
// (spaces and a closing quote) are kept when the rest is dropped.
size_t csv_tail_to_keep(const csv_parser& parser) {
  size_t keep = std::min(parser.entry_pos, parser.spaces + 1);
  // Never split a CR from the LF that may follow: it would count twice.
  if (keep < parser.entry_pos && parser.entry_buf[parser.entry_pos - keep - 1] == '\r') ++keep;
  return keep;
}

class CsvReader final : public Reader {
 public:
  CsvReader(Input& input, size_t batch_records, char delimiter, size_t max_record_bytes)
      : Reader(input, batch_records, true, delimiter, max_record_bytes) {
    // Without strict mode a stray quote is kept as a character instead of
    // stopping the parse; rows it merges fail the column count instead.
    // CSV_REPALL_NL reports every line end, so line numbers stay exact.
    if (csv_init(&parser_, CSV_REPALL_NL) != 0) throw std::bad_alloc();
    csv_set_delim(&parser_, static_cast<unsigned char>(delimiter));
    // Spaces around unquoted fields are data.
    csv_set_space_func(&parser_, [](unsigned char) { return 0; });
  }
  ~CsvReader() override { csv_free(&parser_); }

  const std::vector<std::string>& header() override {
    while (!header_done_ && advance()) {
    }
    return header_;
  }

 protected:
  bool advance() override {
    if (eof_) return false;
    const char* bytes;
    size_t n;
    if (next_slice(bytes, n)) {
      size_t done = csv_parse(&parser_, bytes, n, on_field, on_row, this);
      rethrow();
      if (done != n) throw IoError("cannot parse " + input_.name() + ": " + csv_strerror(csv_error(&parser_)));
      // The field being read is in libcsv's buffer, which grows with it.
      if (!too_long_ && row_bytes_ + parser_.entry_pos > max_record_bytes_) start_too_long(row_fields_);
      if (too_long_) drop_partial_field();
      // libcsv grows its buffer by a fixed step; a step as large as the
      // buffer makes the growth geometric, so a long field is not copied
      // over and over (an allocator that cannot grow in place would take
      // minutes over a few megabytes).
      csv_set_blk_size(&parser_, std::max<size_t>(parser_.entry_size, 64 << 10));
      return true;
    }
    eof_ = true;
    open_quote_at_end_ = parser_.quoted != 0 && parser_.pstate == kCsvFieldBegun;
    csv_fini(&parser_, on_field, on_row, this);
    rethrow();
    return false;
  }

 private:
  static void on_field(void* bytes, size_t length, void* self) {
    auto* r = static_cast<CsvReader*>(self);
    if (r->failure_) return;
    try {
      const char* p = static_cast<const char*>(bytes);
      if (p == nullptr) p = "";
      ++r->row_fields_;
      r->row_breaks_ += line_breaks(p, length);
      r->row_bytes_ += length + kFieldCost;
      if (!r->too_long_ && r->row_bytes_ > r->max_record_bytes_) r->start_too_long(r->row_fields_ - 1);
      if (r->too_long_) return;
      if (r->header_done_) r->current().add_field({p, length});
      else r->pending_header_.emplace_back(p, length);
    } catch (...) {
      r->failure_ = std::current_exception();
    }
  }

  static void on_row(int terminator, void* self) {
    auto* r = static_cast<CsvReader*>(self);
    if (r->failure_) return;
    try {
      r->end_row(terminator);
    } catch (...) {
      r->failure_ = std::current_exception();
    }
  }

  void end_row(int terminator) {
    if (row_fields_ > 0) {
      bool open_quote = terminator == -1 && open_quote_at_end_;
      if (!header_done_) {
        if (open_quote) throw IoError(input_.name() + ": the header row has an unterminated quoted field");
        header_ = std::move(pending_header_);
        header_done_ = true;
      } else {
        Batch& b = current();
        Row row;
        row.line = line_;
        row.number = ++records_;
        row.count = too_long_ ? 0 : static_cast<uint32_t>(row_fields_);
        row.first = static_cast<uint32_t>(b.fields.size() - row.count);
        row.unterminated = open_quote;
        row.too_long = too_long_;
        b.rows.push_back(row);
        row_done();
      }
    }
    // The LF of a CRLF comes as an empty row of its own after the CR.
    bool second_half_of_crlf = row_fields_ == 0 && terminator == '\n' && previous_terminator_ == '\r';
    line_ += row_breaks_ + (terminator == -1 || second_half_of_crlf ? 0 : 1);
    row_breaks_ = 0;
    row_fields_ = 0;
    row_bytes_ = 0;
    too_long_ = false;
    previous_terminator_ = terminator;
  }

  // The row being read has grown past the limit: its stored fields are
  // dropped, and the rest of it is only counted until it ends.
  void start_too_long(uint64_t stored_fields) {
    if (!header_done_)
      throw IoError(input_.name() + ": the header row is longer than " + std::to_string(max_record_bytes_) +
                    " bytes");
    too_long_ = true;
    Batch& b = current();
    if (stored_fields == 0) return;
    const size_t first = b.fields.size() - stored_fields;
    b.data.resize(b.fields[first].offset);
    b.fields.resize(first);
  }

  // Empties libcsv's buffer of the field being passed over, counting its
  // line breaks. libcsv holds the field in entry_buf[0, entry_pos) and only
  // appends to it, apart from the tail it may take back, which stays.
  void drop_partial_field() {
    const size_t keep = csv_tail_to_keep(parser_);
    const size_t drop = parser_.entry_pos - keep;
    if (drop == 0) return;
    row_breaks_ += line_breaks(reinterpret_cast<const char*>(parser_.entry_buf), drop);
    row_bytes_ += drop;
    std::memmove(parser_.entry_buf, parser_.entry_buf + drop, keep);
    parser_.entry_pos = keep;
  }

  void rethrow() {
    if (failure_) std::rethrow_exception(failure_);
  }

  csv_parser parser_;
  bool eof_ = false;
  bool header_done_ = false;
  bool open_quote_at_end_ = false;
  std::vector<std::string> header_, pending_header_;
  uint64_t line_ = 1;  // line on which the row being parsed starts
  uint64_t row_breaks_ = 0;
  uint64_t row_fields_ = 0;
  uint64_t row_bytes_ = 0;  // of the row being read, counted as the limit counts
  bool too_long_ = false;   // the row being read is over the limit
  int previous_terminator_ = 0;
  std::exception_ptr failure_;
};

// The keys of a JSON object in order of first appearance, found without
// building its tree, so that however deep its values nest the keys are read
// in constant stack (a line too deep to process is still rejected later).
struct TopLevelKeys final : nlohmann::json_sax<nlohmann::json> {
  std::vector<std::string> keys;
  std::unordered_set<std::string> seen;
  size_t depth = 0;  // arrays and objects open around the parser
  bool object = false;  // the text is an object

  bool null() override { return true; }
  bool boolean(bool) override { return true; }
  bool number_integer(number_integer_t) override { return true; }
  bool number_unsigned(number_unsigned_t) override { return true; }
  bool number_float(number_float_t, const string_t&) override { return true; }
  bool string(string_t&) override { return true; }
  bool binary(binary_t&) override { return true; }
  bool start_object(std::size_t) override {
    if (depth++ == 0) object = true;
    return true;
  }
  bool key(string_t& name) override {
    if (depth == 1 && seen.insert(name).second) keys.push_back(name);
    return true;
  }
  bool end_object() override {
    --depth;
    return true;
  }
  bool start_array(std::size_t) override {
    ++depth;
    return true;
  }
  bool end_array() override {
    --depth;
    return true;
  }
  bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception&) override {
    return false;
  }
};

class JsonlReader final : public Reader {
 public:
  JsonlReader(Input& input, size_t batch_records, size_t max_record_bytes)
      : Reader(input, batch_records, false, ',', max_record_bytes) {}

  const std::vector<std::string>& header() override {
    if (header_done_) return header_;
    header_done_ = true;
    // The keys of the first line that is a JSON object, so that one bad
    // line at the top does not leave nothing to guess the mapping from. The
    // lines looked at stay records; no more than a few are read ahead.
    uint64_t looked = 0, looked_bytes = 0;
    while (looked < kLinesForKeys && looked_bytes < kBytesForKeys) {
      while (records_ == looked && advance()) {
      }
      if (records_ == looked) break;  // the end of the input
      for (const Batch* batch : unread_batches()) {
        for (const Row& row : batch->rows) {
          if (row.number <= looked) continue;
          looked = row.number;
          if (row.too_long) continue;  // not kept
          looked_bytes += batch->fields[row.first].length;
          TopLevelKeys keys;
          if (nlohmann::json::sax_parse(batch->field(row.first), &keys, nlohmann::json::input_format_t::json) &&
              keys.object) {
            header_ = std::move(keys.keys);
            return header_;
          }
        }
      }
    }
    return header_;
  }

 protected:
  bool advance() override {
    if (eof_) return false;
    const char* p;
    size_t n;
    if (!next_slice(p, n)) {
      eof_ = true;
      if (!carry_.empty() || skipping_) end_line(carry_);
      return false;
    }
    const char* end = p + n;
    while (p < end) {
      auto nl = static_cast<const char*>(std::memchr(p, '\n', static_cast<size_t>(end - p)));
      if (nl == nullptr) {
        keep({p, static_cast<size_t>(end - p)});
        break;
      }
      if (!carry_.empty() || skipping_) {
        keep({p, static_cast<size_t>(nl - p)});
        end_line(carry_);
      } else {
        add_line({p, static_cast<size_t>(nl - p)});
      }
      p = nl + 1;
    }
    return true;
  }

 private:
  // Part of a line that goes on in the next piece of input: kept while the
  // line is within the limit, then only looked at for a non-blank byte.
  void keep(std::string_view part) {
    if (!skipping_ && carry_.size() + part.size() > max_record_bytes_ + 1) {  // + 1: a CR before the LF
      skipping_ = true;
      skipped_text_ = carry_.find_first_not_of(" \t\r") != std::string::npos;
      carry_.clear();
      carry_.shrink_to_fit();
    }
    if (!skipping_) carry_.append(part);
    else if (!skipped_text_) skipped_text_ = part.find_first_not_of(" \t\r") != std::string_view::npos;
  }

  void end_line(std::string_view line) {
    if (skipping_) {
      skipping_ = false;
      ++line_;
      if (skipped_text_) add_row(true);  // else a very long blank line, skipped as blank lines are
    } else {
      add_line(line);
    }
    carry_.clear();
  }

  void add_line(std::string_view line) {
    ++line_;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.find_first_not_of(" \t\r") == std::string_view::npos) return;
    if (line.size() > max_record_bytes_) return add_row(true);
    current().add_field(line);
    add_row(false);
  }

  void add_row(bool too_long) {
    Batch& b = current();
    Row row;
    row.line = line_;
    row.number = ++records_;
    row.count = too_long ? 0 : 1;
    row.first = static_cast<uint32_t>(b.fields.size() - row.count);
    row.too_long = too_long;
    b.rows.push_back(row);
    row_done();
  }

  std::vector<const Batch*> unread_batches() const {
    std::vector<const Batch*> batches;
    for (const auto& batch : ready_) batches.push_back(batch.get());
    if (current_) batches.push_back(current_.get());
    return batches;
  }

  static constexpr uint64_t kLinesForKeys = 1000, kBytesForKeys = 64 << 20;
  bool eof_ = false;
  bool header_done_ = false;
  std::vector<std::string> header_;
  std::string carry_;        // the start of a line that goes on in the next piece
  bool skipping_ = false;    // passing over the rest of a line over the limit
  bool skipped_text_ = false;  // ... which is not blank
  uint64_t line_ = 0;
};

}  // namespace

std::unique_ptr<Reader> make_csv_reader(Input& input, size_t batch_records, char delimiter,
                                        size_t max_record_bytes) {
  return std::make_unique<CsvReader>(input, batch_records, delimiter, max_record_bytes);
}

std::unique_ptr<Reader> make_jsonl_reader(Input& input, size_t batch_records, size_t max_record_bytes) {
  return std::make_unique<JsonlReader>(input, batch_records, max_record_bytes);
}

}  // namespace korvi_cli
