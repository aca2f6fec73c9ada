// Records what is written to the process's standard output and standard
// error (file descriptors 1 and 2) while it is alive.
#pragma once

#include <unistd.h>

#include <cstdio>
#include <string>

namespace korvi::testing {

class CapturedStreams {
 public:
  CapturedStreams() {
    std::fflush(stdout);
    std::fflush(stderr);
    for (int i = 0; i < 2; ++i) {
      files_[i] = std::tmpfile();
      saved_[i] = dup(i + 1);
      dup2(fileno(files_[i]), i + 1);
    }
  }
  CapturedStreams(const CapturedStreams&) = delete;
  CapturedStreams& operator=(const CapturedStreams&) = delete;
  ~CapturedStreams() {
    restore();
    for (std::FILE* file : files_) std::fclose(file);
  }

  // Restores both streams and returns everything written to them.
  std::string finish() {
    restore();
    std::string written;
    for (std::FILE* file : files_) {
      std::rewind(file);
      for (int c; (c = std::fgetc(file)) != EOF;) written += static_cast<char>(c);
    }
    return written;
  }

 private:
  void restore() {
    if (restored_) return;
    std::fflush(stdout);
    std::fflush(stderr);
    for (int i = 0; i < 2; ++i) {
      dup2(saved_[i], i + 1);
      close(saved_[i]);
    }
    restored_ = true;
  }

  std::FILE* files_[2] = {};
  int saved_[2] = {-1, -1};
  bool restored_ = false;
};

}  // namespace korvi::testing
