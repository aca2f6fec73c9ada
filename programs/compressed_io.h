// Streaming gzip and zstd for the command's inputs and outputs, chosen by
// the file name (.gz, .zst) or by an option for standard input and output.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>

namespace korvi_cli {

enum class Compression { kNone, kGzip, kZstd };

// By the file name's ending: .gz, .zst, else none.
Compression compression_of_name(const std::string& path);
// The name without a .gz or .zst ending ("people.jsonl.gz": "people.jsonl").
std::string without_compression_suffix(const std::string& path);
// "gz"/"gzip", "zst"/"zstd" or "none"; throws UsageError for anything else.
Compression parse_compression(const std::string& name, const std::string& option);
// The name's own compression unless forced is given (non-empty).
Compression choose_compression(const std::string& path, const std::string& forced, const std::string& option);

// Decompresses what raw reads (raw(buffer, size) returns 0 at the end).
// Concatenated gzip members and zstd frames are read one after another, as
// the joined outputs of sharded runs are. Throws IoError for corrupt or
// truncated data, naming the input.
class Decompressor {
 public:
  using Raw = std::function<size_t(char*, size_t)>;
  virtual ~Decompressor() = default;
  // Up to size bytes of decompressed data; 0 at the end.
  virtual size_t read(char* out, size_t size) = 0;
};
std::unique_ptr<Decompressor> make_decompressor(Compression kind, Decompressor::Raw raw, std::string name);

// Compresses into sink(bytes, size) at level (0: gzip 1, zstd 1; gzip takes
// 1-9, zstd 1-19). finish() ends the stream.
class Compressor {
 public:
  using Sink = std::function<void(const char*, size_t)>;
  virtual ~Compressor() = default;
  virtual void write(const char* data, size_t size) = 0;
  virtual void finish() = 0;
};
std::unique_ptr<Compressor> make_compressor(Compression kind, Compressor::Sink sink, int level = 0);

}  // namespace korvi_cli
