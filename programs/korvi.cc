// korvi: command-line fingerprints of texts, through the public C interface.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "korvi/korvi.h"

namespace {

void usage(std::FILE* out) {
  std::fputs(
      "usage: korvi fingerprint [--mode text|code|digits] [--tiled] [--short] [--raw]\n"
      "                         [--boolean] [--parse-only] [TEXT...]\n"
      "       korvi clean [--mode text|code|digits] [TEXT...]\n"
      "       korvi demo\n"
      "       korvi version\n"
      "Without TEXT arguments, texts are read one per line from standard input.\n",
      out);
}

struct Options {
  int mode = CLEAN_TEXT;
  uint32_t flags = 0;
  std::vector<std::string> texts;
};

bool parse_options(int argc, char** argv, Options& options) {
  for (int i = 2; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--mode" && i + 1 < argc) {
      const std::string mode = argv[++i];
      if (mode == "text") options.mode = CLEAN_TEXT;
      else if (mode == "code") options.mode = CLEAN_CODE;
      else if (mode == "digits") options.mode = CLEAN_DIGITS;
      else return false;
    } else if (arg == "--tiled") {
      options.flags |= FINGERPRINT_TILED;
    } else if (arg == "--short") {
      options.flags |= FINGERPRINT_SHORT;
    } else if (arg == "--raw") {
      options.flags |= FINGERPRINT_RAW;
    } else if (arg == "--boolean") {
      options.flags |= FINGERPRINT_BOOLEAN;
    } else if (arg == "--parse-only") {
      options.flags |= FINGERPRINT_BOOLEAN | FINGERPRINT_PARSE_ONLY;
    } else if (arg.rfind("--", 0) == 0) {
      return false;
    } else {
      options.texts.push_back(arg);
    }
  }
  return true;
}

template <class Each>
void for_each_text(const Options& options, Each each) {
  if (!options.texts.empty()) {
    for (const auto& text : options.texts) each(text);
    return;
  }
  std::string line;
  while (std::getline(std::cin, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    each(line);
  }
}

int print_fingerprints(const Options& options) {
  int failures = 0;
  for_each_text(options, [&](const std::string& text) {
    FingerprintResult* result = fingerprint(text.c_str(), options.mode, options.flags);
    if (result == nullptr) {
      std::fputs("korvi: out of memory\n", stderr);
      std::exit(1);
    }
    if (result->status != STATUS_OK) ++failures;
    std::printf("%s\n", result->text);
    free_result(result);
  });
  return failures == 0 ? 0 : 1;
}

int print_cleaned(const Options& options) {
  int failures = 0;
  for_each_text(options, [&](const std::string& text) {
    char* cleaned = clean_string(text.c_str(), options.mode);
    if (cleaned == nullptr) {
      std::fprintf(stderr, "korvi: not valid UTF-8: line skipped\n");
      ++failures;
      return;
    }
    std::printf("%s\n", cleaned);
    korvi_free(cleaned);
  });
  return failures == 0 ? 0 : 1;
}

int demo() {
  const struct {
    const char* text;
    int mode;
    uint32_t flags;
  } samples[] = {
      {"john smith jr", CLEAN_TEXT, 0},
      {"  o'Brien-Smith, Jr. ", CLEAN_TEXT, FINGERPRINT_SHORT},
      {"123 North Main Street, Apt 4", CLEAN_TEXT, FINGERPRINT_TILED | FINGERPRINT_SHORT},
      {"Jane.Doe+news@example.com", CLEAN_CODE, FINGERPRINT_SHORT},
      {"(555) 123-4567 ext 89", CLEAN_DIGITS, FINGERPRINT_SHORT},
      {"short", CLEAN_TEXT, 0},
      {"RED OR (GREEN - PEARS)", CLEAN_TEXT, FINGERPRINT_BOOLEAN | FINGERPRINT_PARSE_ONLY},
  };
  for (const auto& s : samples) {
    FingerprintResult* result = fingerprint(s.text, s.mode, s.flags);
    if (result == nullptr) return 1;
    std::printf("%s\n  %s\n", s.text, result->text);
    free_result(result);
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    usage(stderr);
    return 2;
  }
  const std::string command = argv[1];
  if (command == "version") {
    std::printf("korvi %s (Unicode %s, %s)\n", korvi_version(), korvi_unicode_version(),
                korvi_sha512_implementation());
    return 0;
  }
  if (command == "demo") return demo();
  if (command == "--help" || command == "-h" || command == "help") {
    usage(stdout);
    return 0;
  }
  Options options;
  if (!parse_options(argc, argv, options)) {
    usage(stderr);
    return 2;
  }
  if (command == "fingerprint") return print_fingerprints(options);
  if (command == "clean") return print_cleaned(options);
  usage(stderr);
  return 2;
}
