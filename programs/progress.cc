#include "progress.h"

#include <unistd.h>

#include <cstdio>

namespace korvi_cli {

namespace {

std::string clock_text(double seconds) {
  auto s = static_cast<uint64_t>(seconds + 0.5);
  char text[32];
  if (s >= 3600)
    std::snprintf(text, sizeof text, "%llu:%02llu:%02llu", static_cast<unsigned long long>(s / 3600),
                  static_cast<unsigned long long>(s / 60 % 60), static_cast<unsigned long long>(s % 60));
  else
    std::snprintf(text, sizeof text, "%llu:%02llu", static_cast<unsigned long long>(s / 60),
                  static_cast<unsigned long long>(s % 60));
  return text;
}

void write_all(const std::string& text) {
  size_t done = 0;
  while (done < text.size()) {
    ssize_t n = ::write(STDERR_FILENO, text.data() + done, text.size() - done);
    if (n <= 0) return;  // a broken terminal is no reason to stop the work
    done += static_cast<size_t>(n);
  }
}

}  // namespace

Progress::Progress(bool enabled, int64_t total_bytes)
    : enabled_(enabled), total_(total_bytes), start_(std::chrono::steady_clock::now()), last_draw_(start_) {}

double Progress::elapsed() const {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
}

void Progress::update(uint64_t records, uint64_t bytes_done) {
  records_ = records;
  bytes_ = bytes_done;
  if (!enabled_) return;
  auto now = std::chrono::steady_clock::now();
  if (shown_ && now - last_draw_ < std::chrono::milliseconds(100)) return;
  last_draw_ = now;
  draw();
}

void Progress::draw() {
  double seconds = elapsed();
  double rate = seconds > 0 ? static_cast<double>(records_) / seconds : 0;
  std::string line = "\r";
  char text[128];
  if (total_ > 0) {
    double done = static_cast<double>(bytes_) / static_cast<double>(total_);
    if (done > 1) done = 1;
    constexpr int kWidth = 24;
    int filled = static_cast<int>(done * kWidth);
    line += '[';
    line.append(static_cast<size_t>(filled), '#');
    line.append(static_cast<size_t>(kWidth - filled), '.');
    std::snprintf(text, sizeof text, "] %3d%% ", static_cast<int>(done * 100));
    line += text;
  }
  std::snprintf(text, sizeof text, "%llu records  %.0f/s  %s", static_cast<unsigned long long>(records_), rate,
                clock_text(seconds).c_str());
  line += text;
  if (total_ > 0 && bytes_ > 0 && bytes_ < static_cast<uint64_t>(total_)) {
    double left = seconds * static_cast<double>(static_cast<uint64_t>(total_) - bytes_) / static_cast<double>(bytes_);
    line += "  ETA " + clock_text(left);
  }
  line += "\033[K";
  write_all(line);
  shown_ = true;
}

void Progress::clear() {
  if (!enabled_ || !shown_) return;
  write_all("\r\033[K");
  shown_ = false;
}

std::string summary_line(uint64_t read, uint64_t written, uint64_t rejected, double seconds) {
  char text[200];
  double rate = seconds > 0 ? static_cast<double>(read) / seconds : 0;
  std::snprintf(text, sizeof text, "korvi: %llu records read, %llu written, %llu rejected (%.2f s, %.0f records/s)\n",
                static_cast<unsigned long long>(read), static_cast<unsigned long long>(written),
                static_cast<unsigned long long>(rejected), seconds, rate);
  return text;
}

}  // namespace korvi_cli
