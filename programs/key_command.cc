// Keys of the command: korvi keygen, korvi key-id, and reading a key for
// --key-file / --key-env. A key is 32 to 2048 hex digits (16 to 1024 bytes)
// with white space around them; it never comes from the command line, where
// other users can see it, and no message ever repeats it.
#include <fcntl.h>
#include <sodium.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "cli.h"

namespace korvi_cli {

namespace {

constexpr size_t kMinKeyDigits = 32, kMaxKeyDigits = 2048;
constexpr size_t kGeneratedKeyBytes = 32;

int hex_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool space(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v'; }

// The key bytes of a text of hex digits; where names the source in messages.
std::vector<unsigned char> decode_key(const std::string& text, const std::string& where) {
  size_t begin = 0, end = text.size();
  while (begin < end && space(text[begin])) ++begin;
  while (end > begin && space(text[end - 1])) --end;
  const size_t digits = end - begin;
  for (size_t i = begin; i < end; ++i) {
    if (hex_value(text[i]) < 0)
      throw UsageError(where + " does not hold a key: only hex digits 0-9 and a-f are allowed");
  }
  if (digits < kMinKeyDigits || digits > kMaxKeyDigits || digits % 2 != 0)
    throw UsageError(where + " holds " + std::to_string(digits) +
                     " hex digits; a key needs an even number from 32 to 2048 (korvi keygen makes one)");
  std::vector<unsigned char> bytes(digits / 2);
  for (size_t i = 0; i < bytes.size(); ++i)
    bytes[i] = static_cast<unsigned char>(hex_value(text[begin + 2 * i]) * 16 + hex_value(text[begin + 2 * i + 1]));
  return bytes;
}

std::string read_key_file(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY);
  if (fd < 0) throw UsageError("cannot read key file " + path + ": " + std::strerror(errno));
  struct stat info {};
  if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && (info.st_mode & (S_IRGRP | S_IROTH)) != 0)
    print_error("warning: key file " + path + " is readable by group or others (chmod 600 " + path + ")");
  std::string text;
  char buffer[4096];
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0) {
      const int error = errno;
      ::close(fd);
      sodium_memzero(buffer, sizeof buffer);
      throw UsageError("cannot read key file " + path + ": " + std::strerror(error));
    }
    if (n == 0) break;
    text.append(buffer, static_cast<size_t>(n));
    if (text.size() > 2 * kMaxKeyDigits + 4096) break;  // far too long to be a key
  }
  ::close(fd);
  sodium_memzero(buffer, sizeof buffer);
  return text;
}

void wipe(std::string& text) {
  if (!text.empty()) sodium_memzero(text.data(), text.size());
}

void wipe(std::vector<unsigned char>& bytes) {
  if (!bytes.empty()) sodium_memzero(bytes.data(), bytes.size());
}

}  // namespace

KeyHandle load_key(const KeyOptions& o) {
  if (!o.file.empty() && !o.env.empty()) throw UsageError("give --key-file or --key-env, not both");
  if (o.file.empty() && o.env.empty()) return {};
  std::string text, where;
  if (!o.file.empty()) {
    text = read_key_file(o.file);
    where = "key file " + o.file;
  } else {
    const char* value = std::getenv(o.env.c_str());
    if (value == nullptr) throw UsageError("environment variable " + o.env + " is not set");
    text = value;
    where = "environment variable " + o.env;
  }
  std::vector<unsigned char> bytes;
  try {
    bytes = decode_key(text, where);
  } catch (...) {
    wipe(text);
    throw;
  }
  wipe(text);
  KeyHandle key(korvi_key_new(bytes.data(), bytes.size()));
  wipe(bytes);
  if (!key) throw std::bad_alloc();
  char id[17];
  korvi_key_id(key.get(), id);
  key.id = id;
  return key;
}

int run_keygen(const KeygenOptions& o) {
  if (sodium_init() < 0) throw IoError("cannot start the random number generator");
  unsigned char bytes[kGeneratedKeyBytes];
  randombytes_buf(bytes, sizeof bytes);
  char hex[2 * kGeneratedKeyBytes + 2];
  sodium_bin2hex(hex, sizeof hex, bytes, sizeof bytes);
  sodium_memzero(bytes, sizeof bytes);
  hex[2 * kGeneratedKeyBytes] = '\n';
  const size_t size = 2 * kGeneratedKeyBytes + 1;
  int fd = STDOUT_FILENO;
  if (!o.output.empty() && o.output != "-") {
    // O_EXCL: an existing key is never overwritten, whatever its mode.
    fd = ::open(o.output.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0600);
    if (fd < 0) {
      const int error = errno;
      sodium_memzero(hex, sizeof hex);
      if (error == EEXIST) throw UsageError(o.output + " exists; a key file is never overwritten");
      throw IoError("cannot create " + o.output + ": " + std::strerror(error));
    }
  }
  const bool written = ::write(fd, hex, size) == static_cast<ssize_t>(size);
  const int error = errno;
  sodium_memzero(hex, sizeof hex);
  if (fd != STDOUT_FILENO && ::close(fd) != 0 && written) throw IoError("cannot write " + o.output);
  if (!written) throw IoError("cannot write " + (fd == STDOUT_FILENO ? std::string("standard output") : o.output) +
                              ": " + std::strerror(error));
  return kExitOk;
}

int run_key_id(const KeyOptions& o) {
  if (o.file.empty() && o.env.empty()) throw UsageError("give the key with --key-file FILE or --key-env NAME");
  const KeyHandle key = load_key(o);
  std::printf("%s\n", key.id.c_str());
  if (std::fflush(stdout) != 0) throw IoError(std::string("cannot write standard output: ") + std::strerror(errno));
  return kExitOk;
}

}  // namespace korvi_cli
