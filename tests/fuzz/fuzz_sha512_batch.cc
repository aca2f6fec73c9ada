// Every sha512_batch kernel against libsodium on messages of 0 to 111 bytes.
// Input: one byte choosing the shared suffix length, the suffix, then per
// message a length byte and that many prefix bytes.
//   clang++-14 -std=c++20 -fsanitize=fuzzer,address -I include -I lib
//       tests/fuzz/fuzz_sha512_batch.cc lib/core/sha512_batch*.cc -lsodium
#include <sodium.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "core/sha512_batch.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using korvi::core::kSha512OneBlockMax;
  if (size == 0) return 0;
  const char* bytes = reinterpret_cast<const char*>(data);
  size_t pos = 1;
  const size_t suffix_len = std::min<size_t>(data[0] % (kSha512OneBlockMax + 1), size - pos);
  const std::string_view suffix(bytes + pos, suffix_len);
  pos += suffix_len;

  std::vector<std::string_view> prefixes;
  const size_t prefix_max = kSha512OneBlockMax - suffix_len;
  while (pos < size) {
    const size_t want = data[pos++] % (prefix_max + 1);
    const size_t len = std::min(want, size - pos);
    prefixes.emplace_back(bytes + pos, len);
    pos += len;
  }

  std::vector<uint8_t> expected(64 * prefixes.size());
  for (size_t i = 0; i < prefixes.size(); ++i) {
    const std::string message = std::string(prefixes[i]) + std::string(suffix);
    crypto_hash_sha512(expected.data() + 64 * i,
                       reinterpret_cast<const unsigned char*>(message.data()), message.size());
  }
  std::vector<uint8_t> got(64 * prefixes.size() + 64);
  for (const char* kernel : korvi::core::kSha512Kernels) {
    if (!korvi::core::sha512_kernel_available(kernel)) continue;
    std::memset(got.data(), 0xA5, got.size());
    korvi::core::sha512_batch_with(kernel, prefixes.data(), prefixes.size(), suffix, got.data());
    // With no messages expected.data() may be null, which memcmp must not get.
    if (!expected.empty() && std::memcmp(got.data(), expected.data(), expected.size()) != 0) std::abort();
    for (size_t i = expected.size(); i < got.size(); ++i) {
      if (got[i] != 0xA5) std::abort();  // wrote past the last digest
    }
  }
  return 0;
}
