// The progress bar on standard error and the summary line.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

namespace korvi_cli {

class Progress {
 public:
  // total_bytes < 0 when the size of the input is unknown (a pipe).
  Progress(bool enabled, int64_t total_bytes);
  // Redraws at most ten times a second.
  void update(uint64_t records, uint64_t bytes_done);
  // Erases the bar, before other text goes to standard error and at the end.
  void clear();
  double elapsed() const;

 private:
  void draw();

  bool enabled_;
  int64_t total_;
  bool shown_ = false;
  uint64_t records_ = 0, bytes_ = 0;
  std::chrono::steady_clock::time_point start_, last_draw_;
};

// "korvi: 300 records read, 298 written, 2 rejected (0.41 s, 731 records/s)"
std::string summary_line(uint64_t read, uint64_t written, uint64_t rejected, double seconds);

}  // namespace korvi_cli
