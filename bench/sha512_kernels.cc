// Messages per second of each sha512_batch kernel on 50-byte messages
// (28-byte windows followed by the 22-byte salt). Build by hand, e.g.
//   g++ -O2 -std=c++20 -I include -I lib bench/sha512_kernels.cc
//       lib/core/sha512_batch*.cc -lbenchmark -lpthread -lsodium
// and read items_per_second.
#include <benchmark/benchmark.h>

#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "core/sha512_batch.h"

namespace {

constexpr std::string_view kSalt = "Qm7pZ2vX+9LcT4nB8rKs1A";

void hash_batch(benchmark::State& state, const char* kernel) {
  if (!korvi::core::sha512_kernel_available(kernel)) {
    state.SkipWithError("kernel not available on this CPU");
    return;
  }
  const size_t count = static_cast<size_t>(state.range(0));
  std::mt19937 rng(1);
  std::vector<std::string> windows(count, std::string(28, ' '));
  for (auto& w : windows) {
    for (auto& ch : w) ch = static_cast<char>('A' + rng() % 26);
  }
  const std::vector<std::string_view> views(windows.begin(), windows.end());
  std::vector<uint8_t> digests(64 * count);
  for (auto _ : state) {
    korvi::core::sha512_batch_with(kernel, views.data(), count, kSalt, digests.data());
    benchmark::DoNotOptimize(digests.data());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * count));
}

// 1024: a long text; 21: a typical name or address line (35 code points).
BENCHMARK_CAPTURE(hash_batch, avx512x16, "avx512x16")->Arg(1024)->Arg(21)->DenseRange(8, 16);
BENCHMARK_CAPTURE(hash_batch, avx512x8, "avx512x8")->Arg(1024)->Arg(21)->DenseRange(1, 8);
BENCHMARK_CAPTURE(hash_batch, avx2x4, "avx2x4")->Arg(1024)->Arg(21)->DenseRange(1, 8);
BENCHMARK_CAPTURE(hash_batch, scalar, "scalar")->Arg(1024)->Arg(21)->DenseRange(1, 8);
BENCHMARK_CAPTURE(hash_batch, libsodium, "libsodium")->Arg(1024)->Arg(21)->DenseRange(1, 8);

}  // namespace

BENCHMARK_MAIN();
