// korvi fingerprint, korvi clean and korvi version: texts from the arguments
// or one per line from standard input, one output line per text.
#include <korvi/korvi.h>
#include <sys/types.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <new>

#include "cli.h"

namespace korvi_cli {

namespace {

int mode_of(const std::string& mode) {
  if (mode == "code") return CLEAN_CODE;
  if (mode == "digits") return CLEAN_DIGITS;
  return CLEAN_TEXT;
}

// Calls each(text, where) for every text; where names it in messages
// ("argument 2", "line 7"). Lines lose their LF or CRLF ending. A line with a
// NUL byte cannot reach the library whole: it is reported, and given an empty
// output line so output lines still match input lines. Returns how many
// texts were refused that way.
int for_each_text(const TextOptions& options, const std::function<void(const char*, const std::string&)>& each) {
  int refused = 0;
  bool from_stdin = options.texts.empty() || (options.texts.size() == 1 && options.texts[0] == "-");
  if (!from_stdin) {
    for (size_t i = 0; i < options.texts.size(); ++i)
      each(options.texts[i].c_str(), "argument " + std::to_string(i + 1));
    return 0;
  }
  char* line = nullptr;
  size_t capacity = 0;
  uint64_t number = 0;
  for (;;) {
    errno = 0;
    ssize_t n = ::getline(&line, &capacity, stdin);
    if (n < 0) break;
    ++number;
    if (n > 0 && line[n - 1] == '\n') line[--n] = 0;
    if (n > 0 && line[n - 1] == '\r') line[--n] = 0;
    if (std::memchr(line, 0, static_cast<size_t>(n)) != nullptr) {
      print_error("line " + std::to_string(number) + ": contains a NUL byte; skipped");
      std::fputc('\n', stdout);
      ++refused;
      continue;
    }
    each(line, "line " + std::to_string(number));
  }
  int error = errno;
  std::free(line);
  if (std::ferror(stdin)) throw IoError(std::string("cannot read standard input: ") + std::strerror(error));
  return refused;
}

void finish_output() {
  if (std::fflush(stdout) != 0 || std::ferror(stdout))
    throw IoError(std::string("cannot write standard output: ") + std::strerror(errno));
}

}  // namespace

int run_fingerprint(const TextOptions& o) {
  uint32_t flags = 0;
  if (o.boolean) flags |= FINGERPRINT_BOOLEAN;
  if (o.parse_only) flags |= FINGERPRINT_BOOLEAN | FINGERPRINT_PARSE_ONLY;
  if (o.raw) flags |= FINGERPRINT_RAW;
  if (o.tiled) flags |= FINGERPRINT_TILED;
  if (o.short_form) flags |= FINGERPRINT_SHORT;
  const int mode = mode_of(o.mode);
  const KeyHandle key = load_key(o.key);
  std::setvbuf(stdout, nullptr, _IOFBF, 1 << 16);
  int failures = 0;
  int refused = for_each_text(o, [&](const char* text, const std::string&) {
    FingerprintResult* result = key ? fingerprint_keyed(key.get(), text, mode, flags)
                                    : fingerprint(text, mode, flags);
    if (result == nullptr) throw std::bad_alloc();
    if (result->status != STATUS_OK) ++failures;
    std::fputs(result->text, stdout);
    std::fputc('\n', stdout);
    free_result(result);
  });
  finish_output();
  return failures + refused == 0 ? kExitOk : kExitRejected;
}

int run_clean(const TextOptions& o) {
  const int mode = mode_of(o.mode);
  std::setvbuf(stdout, nullptr, _IOFBF, 1 << 16);
  int failures = 0;
  int refused = for_each_text(o, [&](const char* text, const std::string& where) {
    char* cleaned = clean_string(text, mode);
    if (cleaned == nullptr) {
      // clean_string answers NULL for invalid UTF-8 (and when memory runs out).
      std::fflush(stdout);
      print_error(where + ": not valid UTF-8");
      std::fputc('\n', stdout);
      ++failures;
      return;
    }
    std::fputs(cleaned, stdout);
    std::fputc('\n', stdout);
    korvi_free(cleaned);
  });
  finish_output();
  return failures + refused == 0 ? kExitOk : kExitRejected;
}

int run_version() {
  std::printf("korvi %s\nUnicode %s\nSHA-512 %s\n", korvi_version(), korvi_unicode_version(),
              korvi_sha512_implementation());
  finish_output();
  return kExitOk;
}

}  // namespace korvi_cli
