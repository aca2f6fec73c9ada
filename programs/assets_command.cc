// korvi assets: records in, one line of asset arrays per record out.
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <thread>

#include "cli.h"
#include "pipeline.h"
#include "progress.h"
#include "readers.h"
#include "records.h"
#include "shard.h"

namespace korvi_cli {

namespace {

char parse_delimiter(const std::string& text) {
  if (text == "tab" || text == "\\t" || text == "\t") return '\t';
  if (text.size() != 1 || text[0] == '"' || text[0] == '\r' || text[0] == '\n')
    throw UsageError("--delimiter \"" + text + "\": give one character other than a quote or line end");
  return text[0];
}

bool jsonl_name(const std::string& path) {
  for (const char* ext : {".jsonl", ".ndjson", ".json", ".JSONL", ".NDJSON", ".JSON"}) {
    size_t n = std::strlen(ext);
    if (path.size() >= n && path.compare(path.size() - n, n, ext) == 0) return true;
  }
  return false;
}

// An output stream: a file created on open, or standard output or error.
class OutputFile {
 public:
  OutputFile(const std::string& path, FILE* standard, const char* standard_name, const std::string& compress = "",
             int level = 0) {
    if (path.empty() || path == "-") {
      file_ = standard;
      name_ = standard_name;
    } else {
      file_ = std::fopen(path.c_str(), "wb");
      if (file_ == nullptr) throw IoError("cannot create " + path + ": " + std::strerror(errno));
      owned_ = true;
      name_ = path;
    }
    std::setvbuf(file_, nullptr, _IOFBF, 1 << 20);
    const Compression kind = choose_compression(path == "-" ? "" : path, compress, "--compress");
    compressor_ = make_compressor(kind, [this](const char* data, size_t size) { write_file(data, size); }, level);
  }
  ~OutputFile() {
    if (owned_) std::fclose(file_);
  }
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  void write(const std::string& text) {
    if (compressor_) compressor_->write(text.data(), text.size());
    else write_file(text.data(), text.size());
  }
  void flush() {
    if (std::fflush(file_) != 0 || std::ferror(file_)) failed();
  }
  void close() {
    if (compressor_) {
      compressor_->finish();
      compressor_.reset();
    }
    flush();
    if (owned_) {
      owned_ = false;
      if (std::fclose(file_) != 0) failed();
    }
  }
  FILE* file() const { return file_; }

 private:
  [[noreturn]] void failed() { throw IoError("cannot write " + name_ + ": " + std::strerror(errno)); }
  void write_file(const char* data, size_t size) {
    if (size != 0 && std::fwrite(data, 1, size, file_) != size) failed();
  }

  FILE* file_;
  bool owned_ = false;
  std::string name_;
  std::unique_ptr<Compressor> compressor_;
};

}  // namespace

int run_assets(const AssetsOptions& o) {
  const char delimiter = parse_delimiter(o.delimiter);
  if (!valid_utf8(o.record_type)) throw UsageError("--record-type is not valid UTF-8");
  if (o.rejects == "-" && o.output == "-")
    throw UsageError("the output and the rejects cannot both go to standard output");
  if (o.batch_records == 0) throw UsageError("--batch-size must be at least 1");
  bool csv = o.format.empty() ? !jsonl_name(without_compression_suffix(o.input)) : o.format == "csv";
  Mapping requested = mapping_from_options(o);
  if (o.dob_order != "mdy" && o.dob_order != "dmy") throw UsageError("--dob-order must be mdy or dmy");
  if (!o.phone_country.empty() &&
      (o.phone_country.size() > 3 || o.phone_country.find_first_not_of("0123456789") != std::string::npos))
    throw UsageError("--phone-country \"" + o.phone_country + "\": give the country calling code, 1 to 3 digits");

  const bool sharded = !o.shard.empty();
  RecordRange range{1, UINT64_MAX};
  if (sharded) {
    const Shard shard = parse_shard(o.shard);
    if (o.input == "-") throw UsageError("--shard needs an input file: standard input cannot be read twice");
    // A first pass counts the records, so that the cuts fall on record
    // boundaries whatever the quoting, and record numbers stay global.
    Input counting(o.input, o.decompress);
    auto counter = csv ? make_csv_reader(counting, 4096, delimiter, o.max_record_bytes)
                       : make_jsonl_reader(counting, 4096, o.max_record_bytes);
    range = shard_range(shard, count_records(*counter));
  }

  Input input(o.input, o.decompress);
  auto reader = csv ? make_csv_reader(input, o.batch_records, delimiter, o.max_record_bytes)
                    : make_jsonl_reader(input, o.batch_records, o.max_record_bytes);
  const std::vector<std::string>& header = reader->header();

  const KeyHandle key = load_key(o.key);
  RecordContext context;
  context.key = key.get();
  context.key_id = key.id;
  context.record_type = o.record_type;
  context.csv = csv;
  context.delimiter = delimiter;
  context.header_columns = header.size();
  context.max_record_bytes = o.max_record_bytes;
  context.day_first = o.dob_order == "dmy";
  context.phone_country = o.phone_country;
  RecordCounters counters;
  context.counters = &counters;
  auto first = reader->next();
  // Empty input has nothing to map and gives empty output.
  if (csv ? !header.empty() : first != nullptr) context.mapping = resolve_mapping(requested, header, !o.no_guess, csv);

  OutputFile output(o.output, stdout, "standard output", o.compress, o.compression_level);
  OutputFile rejects(o.rejects, o.rejects == "-" ? stdout : stderr,
                     o.rejects == "-" ? "standard output" : "standard error");
  const bool rejects_to_terminal = o.rejects.empty() && isatty(STDERR_FILENO);

  unsigned threads = o.threads != 0 ? o.threads : std::max(1u, std::thread::hardware_concurrency());
  Progress progress(!o.quiet && isatty(STDERR_FILENO), input.size());
  uint64_t written = 0, rejected = 0, bytes_done = 0;

  Pipeline pipeline(
      threads, 3 * static_cast<size_t>(threads) + 2, [&](Batch& b) { process_batch(b, context); },
      [&](Batch& b) {
        output.write(b.out);
        if (b.rejected > 0) {
          if (rejects_to_terminal) progress.clear();
          if (rejected == 0) rejects.write(kRejectsHeader);
          rejects.write(b.rejects);
          if (rejects_to_terminal) rejects.flush();
        }
        written += b.written;
        rejected += b.rejected;
        bytes_done = b.input_end;
      },
      [&] { progress.update(written + rejected, bytes_done); });

  for (auto batch = std::move(first); batch; batch = reader->next()) {
    if (sharded && !keep_range(*batch, range)) break;
    if (batch->rows.empty()) {
      reader->recycle(std::move(batch));
      continue;
    }
    if (!pipeline.submit(std::move(batch))) break;
    while (auto spare = pipeline.spare()) reader->recycle(std::move(spare));
  }
  pipeline.finish();
  output.close();
  rejects.close();
  progress.clear();
  if (!o.quiet) {
    std::string summary = summary_line(written + rejected, written, rejected, progress.elapsed());
    std::fputs(summary.c_str(), stderr);
    if (counters.dates_not_understood > 0)
      std::fprintf(stderr, "korvi: %llu dates of birth not understood, fingerprinted from their digits as written\n",
                   static_cast<unsigned long long>(counters.dates_not_understood.load()));
    if (counters.names_trimmed > 0)
      std::fprintf(stderr, "korvi: %llu names given assets only once stray punctuation or spaces were trimmed\n",
                   static_cast<unsigned long long>(counters.names_trimmed.load()));
  }
  return rejected == 0 ? kExitOk : kExitRejected;
}

}  // namespace korvi_cli
