// What reversing public-salt fingerprints costs: an attacker holding a file
// of short SSN fingerprints hashes nine-digit numbers with korvi's own
// multi-buffer kernel and looks each digest up among the targets. Times a
// real slice of the nine-digit space on one thread, checks that every
// planted target was found, and extrapolates to all 10^9 SSNs and to the
// 6.4 * 10^9 North American phone numbers (area code and exchange 200-999).
//
//   reverse_ssn [numbers in the slice, default 20000000]
//
// Prints one JSON line.
#include <chrono>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "core/fingerprints.h"
#include "core/sha512_batch.h"

namespace {

uint64_t leading_word(const uint8_t* digest) {
  uint64_t word = 0;
  for (int i = 0; i < 8; ++i) word = (word << 8) | digest[i];
  return word;
}

// Adds one to a number written as nine decimal digits.
void increment(char* digits) {
  for (int i = 8; i >= 0; --i) {
    if (digits[i] != '9') {
      ++digits[i];
      return;
    }
    digits[i] = '0';
  }
}

}  // namespace

int main(int argc, char** argv) {
  const long slice = argc > 1 ? std::atol(argv[1]) : 20000000;
  const long first = 123000000;  // any start; the slice is contiguous
  // Targets: the short fingerprints (as assets_from_ssn writes them) of 100
  // numbers spread over the slice, plus 10,000 that match nothing.
  std::unordered_set<uint64_t> targets;
  for (int k = 0; k < 100; ++k) {
    char number[24];
    std::snprintf(number, sizeof number, "%09ld", first + k * (slice / 100) + 7);
    uint8_t digest[64];
    const std::string_view view(number, 9);
    korvi::core::sha512_batch(&view, 1, korvi::core::kSalt, digest);
    targets.insert(leading_word(digest));
  }
  for (uint64_t k = 0; k < 10000; ++k) targets.insert(k * 0x9E3779B97F4A7C15ull);

  constexpr size_t kBatch = 256;
  char numbers[kBatch][9];
  std::string_view views[kBatch];
  std::vector<uint8_t> digests(64 * kBatch);
  char counter[16];
  std::snprintf(counter, sizeof counter, "%09ld", first);
  long found = 0;
  const auto start = std::chrono::steady_clock::now();
  const std::clock_t cpu_start = std::clock();
  for (long done = 0; done < slice;) {
    const size_t n = static_cast<size_t>(std::min<long>(kBatch, slice - done));
    for (size_t i = 0; i < n; ++i) {
      for (int d = 0; d < 9; ++d) numbers[i][d] = counter[d];
      views[i] = std::string_view(numbers[i], 9);
      increment(counter);
    }
    korvi::core::sha512_batch(views, n, korvi::core::kSalt, digests.data());
    for (size_t i = 0; i < n; ++i) found += targets.count(leading_word(&digests[64 * i]));
    done += static_cast<long>(n);
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const double cpu_seconds = static_cast<double>(std::clock() - cpu_start) / CLOCKS_PER_SEC;
  // Per CPU-second, which a busy shared machine does not distort.
  const double rate = static_cast<double>(slice) / cpu_seconds;
  std::printf(
      "{\"reverse_ssn\": {\"kernel\": \"%s\", \"slice\": %ld, \"seconds\": %.3f, "
      "\"cpu_seconds\": %.3f, \"numbers_per_cpu_second\": %.0f, \"targets_found\": %ld, "
      "\"targets_planted\": 100, \"all_ssns_cpu_seconds\": %.1f, "
      "\"all_phone_numbers_cpu_seconds\": %.1f}}\n",
      korvi::core::sha512_batch_kernel(), slice, seconds, cpu_seconds, rate, found, 1e9 / rate,
      6.4e9 / rate);
  return found >= 100 ? 0 : 1;
}
