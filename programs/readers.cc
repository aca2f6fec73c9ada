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
#include <nlohmann/json.hpp>

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

Input::~Input() {
  if (owned_) ::close(fd_);
}

size_t Input::read(char* buffer, size_t size) {
  return decompressor_ ? decompressor_->read(buffer, size) : read_raw(buffer, size);
}

size_t Input::read_raw(char* buffer, size_t size) {
  for (;;) {
    ssize_t n = ::read(fd_, buffer, size);
    if (n >= 0) {
      consumed_ += static_cast<uint64_t>(n);
      return static_cast<size_t>(n);
    }
    if (errno != EINTR) throw IoError("cannot read " + name_ + ": " + std::strerror(errno));
  }
}

Reader::Reader(Input& input, size_t batch_records, bool csv, char delimiter)
    : input_(input), block_(1 << 20), batch_records_(batch_records), csv_(csv), delimiter_(delimiter) {}

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
  if (current_->rows.size() >= batch_records_ || current_->data.size() >= batch_bytes_) close_current();
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

class CsvReader final : public Reader {
 public:
  CsvReader(Input& input, size_t batch_records, char delimiter)
      : Reader(input, batch_records, true, delimiter) {
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
      if (r->header_done_) r->current().add_field({p, length});
      else r->pending_header_.emplace_back(p, length);
      ++r->row_fields_;
      r->row_breaks_ += line_breaks(p, length);
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
        row.first = static_cast<uint32_t>(b.fields.size() - row_fields_);
        row.count = row_fields_;
        row.unterminated = open_quote;
        b.rows.push_back(row);
        row_done();
      }
    }
    // The LF of a CRLF comes as an empty row of its own after the CR.
    bool second_half_of_crlf = row_fields_ == 0 && terminator == '\n' && previous_terminator_ == '\r';
    line_ += row_breaks_ + (terminator == -1 || second_half_of_crlf ? 0 : 1);
    row_breaks_ = 0;
    row_fields_ = 0;
    previous_terminator_ = terminator;
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
  uint32_t row_fields_ = 0;
  int previous_terminator_ = 0;
  std::exception_ptr failure_;
};

class JsonlReader final : public Reader {
 public:
  JsonlReader(Input& input, size_t batch_records) : Reader(input, batch_records, false, ',') {}

  const std::vector<std::string>& header() override {
    if (header_done_) return header_;
    header_done_ = true;
    while (records_ == 0 && advance()) {
    }
    const Batch* first = !ready_.empty() ? ready_.front().get() : current_.get();
    if (first == nullptr || first->rows.empty()) return header_;
    auto value = nlohmann::ordered_json::parse(first->field(first->rows[0].first), nullptr, false);
    if (value.is_object())
      for (const auto& item : value.items()) header_.push_back(item.key());
    return header_;
  }

 protected:
  bool advance() override {
    if (eof_) return false;
    const char* p;
    size_t n;
    if (!next_slice(p, n)) {
      eof_ = true;
      if (!carry_.empty()) add_line(carry_);
      carry_.clear();
      return false;
    }
    const char* end = p + n;
    while (p < end) {
      auto nl = static_cast<const char*>(std::memchr(p, '\n', static_cast<size_t>(end - p)));
      if (nl == nullptr) {
        carry_.append(p, end);
        break;
      }
      if (!carry_.empty()) {
        carry_.append(p, nl);
        add_line(carry_);
        carry_.clear();
      } else {
        add_line({p, static_cast<size_t>(nl - p)});
      }
      p = nl + 1;
    }
    return true;
  }

 private:
  void add_line(std::string_view line) {
    ++line_;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.find_first_not_of(" \t\r") == std::string_view::npos) return;
    Batch& b = current();
    Row row;
    row.line = line_;
    row.number = ++records_;
    row.first = static_cast<uint32_t>(b.fields.size());
    row.count = 1;
    b.add_field(line);
    b.rows.push_back(row);
    row_done();
  }

  bool eof_ = false;
  bool header_done_ = false;
  std::vector<std::string> header_;
  std::string carry_;
  uint64_t line_ = 0;
};

}  // namespace

std::unique_ptr<Reader> make_csv_reader(Input& input, size_t batch_records, char delimiter) {
  return std::make_unique<CsvReader>(input, batch_records, delimiter);
}

std::unique_ptr<Reader> make_jsonl_reader(Input& input, size_t batch_records) {
  return std::make_unique<JsonlReader>(input, batch_records);
}

}  // namespace korvi_cli
