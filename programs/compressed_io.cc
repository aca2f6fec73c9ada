#include "compressed_io.h"

#include <zlib.h>
#include <zstd.h>

#include <new>
#include <vector>

#include "cli.h"

namespace korvi_cli {

namespace {

constexpr size_t kChunk = 1 << 18;
// Asset lines compress about 7 times at the fastest levels and barely
// better at the defaults (gzip 6, zstd 3), which cost twice the CPU time.
constexpr int kGzipLevel = 1;
constexpr int kZstdLevel = 1;

bool ends_with(const std::string& text, const char* suffix) {
  const std::string tail(suffix);
  return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

class GzipReader final : public Decompressor {
 public:
  GzipReader(Raw raw, std::string name) : raw_(std::move(raw)), name_(std::move(name)), in_(kChunk) {
    // 15 + 32: a window of 32 KiB, gzip or zlib header detected.
    if (inflateInit2(&z_, 15 + 32) != Z_OK) throw std::bad_alloc();
  }
  ~GzipReader() override { inflateEnd(&z_); }

  size_t read(char* out, size_t size) override {
    z_.next_out = reinterpret_cast<Bytef*>(out);
    z_.avail_out = static_cast<uInt>(size);
    while (z_.avail_out == size && !done_) {
      if (z_.avail_in == 0 && !refill()) {
        if (in_member_) throw IoError("cannot read " + name_ + ": the gzip data ends early");
        done_ = true;
        break;
      }
      in_member_ = true;
      const int status = inflate(&z_, Z_NO_FLUSH);
      if (status == Z_STREAM_END) {
        in_member_ = false;
        inflateReset(&z_);  // another member may follow
      } else if (status != Z_OK && status != Z_BUF_ERROR) {
        throw IoError("cannot read " + name_ + ": not valid gzip data" +
                      (z_.msg != nullptr ? std::string(" (") + z_.msg + ")" : std::string()));
      }
    }
    return size - z_.avail_out;
  }

 private:
  bool refill() {
    const size_t n = raw_(in_.data(), in_.size());
    z_.next_in = reinterpret_cast<Bytef*>(in_.data());
    z_.avail_in = static_cast<uInt>(n);
    return n != 0;
  }

  Raw raw_;
  std::string name_;
  std::vector<char> in_;
  z_stream z_{};
  bool in_member_ = false, done_ = false;
};

class ZstdReader final : public Decompressor {
 public:
  ZstdReader(Raw raw, std::string name)
      : raw_(std::move(raw)), name_(std::move(name)), in_(ZSTD_DStreamInSize()), stream_(ZSTD_createDStream()) {
    if (stream_ == nullptr) throw std::bad_alloc();
  }
  ~ZstdReader() override { ZSTD_freeDStream(stream_); }

  size_t read(char* out, size_t size) override {
    ZSTD_outBuffer output{out, size, 0};
    while (output.pos == 0 && !done_) {
      if (input_.pos == input_.size) {
        const size_t n = raw_(in_.data(), in_.size());
        if (n == 0) {
          if (in_frame_) throw IoError("cannot read " + name_ + ": the zstd data ends early");
          done_ = true;
          break;
        }
        input_ = {in_.data(), n, 0};
      }
      const size_t hint = ZSTD_decompressStream(stream_, &output, &input_);
      if (ZSTD_isError(hint))
        throw IoError("cannot read " + name_ + ": not valid zstd data (" + ZSTD_getErrorName(hint) + ")");
      in_frame_ = hint != 0;  // 0: a frame is complete
    }
    return output.pos;
  }

 private:
  Raw raw_;
  std::string name_;
  std::vector<char> in_;
  ZSTD_DStream* stream_;
  ZSTD_inBuffer input_{nullptr, 0, 0};
  bool in_frame_ = false, done_ = false;
};

class GzipWriter final : public Compressor {
 public:
  GzipWriter(Sink sink, int level) : sink_(std::move(sink)), out_(kChunk) {
    if (level > 9) throw UsageError("--compression-level " + std::to_string(level) + ": gzip takes 1 to 9");
    // 15 + 16: a gzip header and trailer around the deflate stream.
    if (deflateInit2(&z_, level != 0 ? level : kGzipLevel, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY) != Z_OK) throw std::bad_alloc();
  }
  ~GzipWriter() override { deflateEnd(&z_); }

  void write(const char* data, size_t size) override {
    // avail_in is 32 bits wide: feed large writes in pieces.
    while (size > 0) {
      const size_t piece = std::min<size_t>(size, 1u << 30);
      z_.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data));
      z_.avail_in = static_cast<uInt>(piece);
      pump(Z_NO_FLUSH);
      data += piece;
      size -= piece;
    }
  }
  void finish() override { pump(Z_FINISH); }

 private:
  void pump(int flush) {
    int status;
    do {
      z_.next_out = reinterpret_cast<Bytef*>(out_.data());
      z_.avail_out = static_cast<uInt>(out_.size());
      status = deflate(&z_, flush);
      if (status == Z_STREAM_ERROR) throw std::bad_alloc();
      sink_(out_.data(), out_.size() - z_.avail_out);
    } while (z_.avail_out == 0 || (flush == Z_FINISH && status != Z_STREAM_END));
  }

  Sink sink_;
  std::vector<char> out_;
  z_stream z_{};
};

class ZstdWriter final : public Compressor {
 public:
  ZstdWriter(Sink sink, int level) : sink_(std::move(sink)), out_(ZSTD_CStreamOutSize()), stream_(ZSTD_createCCtx()) {
    if (stream_ == nullptr) throw std::bad_alloc();
    ZSTD_CCtx_setParameter(stream_, ZSTD_c_compressionLevel, level != 0 ? level : kZstdLevel);
    ZSTD_CCtx_setParameter(stream_, ZSTD_c_checksumFlag, 1);
  }
  ~ZstdWriter() override { ZSTD_freeCCtx(stream_); }

  void write(const char* data, size_t size) override {
    ZSTD_inBuffer input{data, size, 0};
    while (input.pos < input.size) pump(input, ZSTD_e_continue);
  }
  void finish() override {
    ZSTD_inBuffer input{nullptr, 0, 0};
    while (pump(input, ZSTD_e_end) != 0) {
    }
  }

 private:
  size_t pump(ZSTD_inBuffer& input, ZSTD_EndDirective mode) {
    ZSTD_outBuffer output{out_.data(), out_.size(), 0};
    const size_t left = ZSTD_compressStream2(stream_, &output, &input, mode);
    if (ZSTD_isError(left)) throw std::bad_alloc();  // only allocation can fail here
    sink_(out_.data(), output.pos);
    return left;
  }

  Sink sink_;
  std::vector<char> out_;
  ZSTD_CCtx* stream_;
};

}  // namespace

Compression compression_of_name(const std::string& path) {
  if (ends_with(path, ".gz") || ends_with(path, ".GZ")) return Compression::kGzip;
  if (ends_with(path, ".zst") || ends_with(path, ".ZST")) return Compression::kZstd;
  return Compression::kNone;
}

std::string without_compression_suffix(const std::string& path) {
  switch (compression_of_name(path)) {
    case Compression::kGzip: return path.substr(0, path.size() - 3);
    case Compression::kZstd: return path.substr(0, path.size() - 4);
    case Compression::kNone: break;
  }
  return path;
}

Compression parse_compression(const std::string& name, const std::string& option) {
  if (name == "gz" || name == "gzip") return Compression::kGzip;
  if (name == "zst" || name == "zstd") return Compression::kZstd;
  if (name == "none") return Compression::kNone;
  throw UsageError(option + " \"" + name + "\": give gz, zst or none");
}

Compression choose_compression(const std::string& path, const std::string& forced, const std::string& option) {
  return forced.empty() ? compression_of_name(path) : parse_compression(forced, option);
}

std::unique_ptr<Decompressor> make_decompressor(Compression kind, Decompressor::Raw raw, std::string name) {
  switch (kind) {
    case Compression::kGzip: return std::make_unique<GzipReader>(std::move(raw), std::move(name));
    case Compression::kZstd: return std::make_unique<ZstdReader>(std::move(raw), std::move(name));
    case Compression::kNone: break;
  }
  return nullptr;
}

std::unique_ptr<Compressor> make_compressor(Compression kind, Compressor::Sink sink, int level) {
  switch (kind) {
    case Compression::kGzip: return std::make_unique<GzipWriter>(std::move(sink), level);
    case Compression::kZstd: return std::make_unique<ZstdWriter>(std::move(sink), level);
    case Compression::kNone: break;
  }
  return nullptr;
}

}  // namespace korvi_cli
