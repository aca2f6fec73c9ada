#include "core/sha512_batch.h"

#include <sodium.h>

#include <bit>
#include <cstdlib>
#include <cstring>

#include "base/endian.h"
#include "core/sha512_batch_kernels.h"

namespace korvi::core {
namespace sha512_detail {

void hash_general(std::string_view prefix, std::string_view suffix, uint8_t* digest) noexcept {
  crypto_hash_sha512_state state;
  crypto_hash_sha512_init(&state);
  crypto_hash_sha512_update(&state, reinterpret_cast<const unsigned char*>(prefix.data()),
                            prefix.size());
  crypto_hash_sha512_update(&state, reinterpret_cast<const unsigned char*>(suffix.data()),
                            suffix.size());
  crypto_hash_sha512_final(&state, digest);
}

namespace {

using base::load_be64;
using base::store_be64;

inline uint64_t big_sigma0(uint64_t x) noexcept {
  return std::rotr(x, 28) ^ std::rotr(x, 34) ^ std::rotr(x, 39);
}
inline uint64_t big_sigma1(uint64_t x) noexcept {
  return std::rotr(x, 14) ^ std::rotr(x, 18) ^ std::rotr(x, 41);
}
inline uint64_t small_sigma0(uint64_t x) noexcept {
  return std::rotr(x, 1) ^ std::rotr(x, 8) ^ (x >> 7);
}
inline uint64_t small_sigma1(uint64_t x) noexcept {
  return std::rotr(x, 19) ^ std::rotr(x, 61) ^ (x >> 6);
}

}  // namespace

// One round and one schedule step on plain 64-bit words.
#define KORVI_ROUND(a, b, c, d, e, f, g, h, i)                                      \
  do {                                                                              \
    const uint64_t t1 = (h + k[i] + w[i]) + (big_sigma1(e) + (g ^ (e & (f ^ g))));  \
    d += t1;                                                                        \
    h = t1 + (big_sigma0(a) + ((a & b) | (c & (a | b))));                           \
  } while (0)

// Next 16 schedule words in place: w[j] holds word t + j - 16 before and
// word t + j after.
#define KORVI_SCHEDULE(j) \
  w[j] += small_sigma1(w[(j + 14) & 15]) + w[(j + 9) & 15] + small_sigma0(w[(j + 1) & 15])

void compress_block(uint64_t* state, const uint8_t* block) noexcept {
  uint64_t w[16];
  for (int t = 0; t < 16; ++t) w[t] = load_be64(block + 8 * t);
  uint64_t a = state[0], b = state[1], c = state[2], d = state[3], e = state[4], f = state[5],
           g = state[6], h = state[7];
  KORVI_SHA512_ROUNDS();
  const uint64_t rounds[8] = {a, b, c, d, e, f, g, h};
  for (int i = 0; i < 8; ++i) state[i] += rounds[i];
}

void hash_one_block_from(Sha512Start start, std::string_view prefix, std::string_view suffix,
                         uint8_t* digest) noexcept {
  uint8_t block[128];
  pad_block(prefix, suffix, block, start.absorbed);
  uint64_t state[8];
  std::memcpy(state, start.state, sizeof state);
  compress_block(state, block);
  for (int i = 0; i < 8; ++i) store_be64(state[i], digest + 8 * i);
}

#undef KORVI_ROUND
#undef KORVI_SCHEDULE

}  // namespace sha512_detail

namespace {

using namespace sha512_detail;

// Every kernel hashes from a starting state; long messages (which only a
// fresh start may hold) go to the general path.
using BatchKernel = void (*)(Sha512Start, const std::string_view*, size_t, std::string_view,
                             uint8_t*) noexcept;

void batch_scalar(Sha512Start start, const std::string_view* prefixes, size_t count,
                  std::string_view suffix, uint8_t* digests) noexcept {
  for (size_t i = 0; i < count; ++i) {
    if (fits_one_block(prefixes[i], suffix)) {
      hash_one_block_from(start, prefixes[i], suffix, digests + 64 * i);
    } else {
      hash_general(prefixes[i], suffix, digests + 64 * i);
    }
  }
}

// libsodium cannot continue from a chaining state: continued hashes take
// the portable code.
void batch_libsodium(Sha512Start start, const std::string_view* prefixes, size_t count,
                     std::string_view suffix, uint8_t* digests) noexcept {
  if (start.absorbed != 0) {
    batch_scalar(start, prefixes, count, suffix, digests);
    return;
  }
  for (size_t i = 0; i < count; ++i) hash_general(prefixes[i], suffix, digests + 64 * i);
}

// A final partial group of filled messages (fewer than Lanes): one by one
// when fewer than min_vector, else through the kernel with idle lanes
// hashing an empty prefix into scratch.
template <size_t Lanes, LaneKernelFrom kernel, size_t min_vector>
void finish_lanes(Sha512Start start, std::string_view* lane_prefix, uint8_t** lane_out,
                  size_t filled, std::string_view suffix) noexcept {
  if (filled < min_vector) {
    for (size_t k = 0; k < filled; ++k) hash_one_block_from(start, lane_prefix[k], suffix, lane_out[k]);
    return;
  }
  uint8_t scratch[64];
  for (size_t k = filled; k < Lanes; ++k) {
    lane_prefix[k] = {};
    lane_out[k] = scratch;
  }
  kernel(start, lane_prefix, suffix, lane_out);
}

// Feeds one-block messages to a vector kernel Lanes at a time, long ones to
// the general path; the last partial group goes to finish.
template <size_t Lanes, LaneKernelFrom kernel, size_t min_vector,
          void (*finish)(Sha512Start, std::string_view*, uint8_t**, size_t, std::string_view) noexcept =
              finish_lanes<Lanes, kernel, min_vector>>
void batch_lanes(Sha512Start start, const std::string_view* prefixes, size_t count,
                 std::string_view suffix, uint8_t* digests) noexcept {
  std::string_view lane_prefix[Lanes];
  uint8_t* lane_out[Lanes];
  size_t filled = 0;
  for (size_t i = 0; i < count; ++i) {
    uint8_t* out = digests + 64 * i;
    if (!fits_one_block(prefixes[i], suffix)) {
      hash_general(prefixes[i], suffix, out);
      continue;
    }
    lane_prefix[filled] = prefixes[i];
    lane_out[filled] = out;
    if (++filled == Lanes) {
      kernel(start, lane_prefix, suffix, lane_out);
      filled = 0;
    }
  }
  if (filled > 0) finish(start, lane_prefix, lane_out, filled, suffix);
}

#if defined(__x86_64__)
// The sixteen-lane kernel's last partial group: ten or more messages through
// itself (a name's ten or eleven windows ran 4% more names per second so
// than as two groups of eight); otherwise a group of eight and what is left,
// as the eight-lane kernel does.
void finish_avx512x16(Sha512Start start, std::string_view* lane_prefix, uint8_t** lane_out,
                      size_t filled, std::string_view suffix) noexcept {
  if (filled >= 10) {
    finish_lanes<kAvx512x16Lanes, hash_lanes_avx512x16_from, 10>(start, lane_prefix, lane_out,
                                                                  filled, suffix);
    return;
  }
  if (filled >= kAvx512Lanes) {
    hash_lanes_avx512_from(start, lane_prefix, suffix, lane_out);
    lane_prefix += kAvx512Lanes;
    lane_out += kAvx512Lanes;
    filled -= kAvx512Lanes;
  }
  finish_lanes<kAvx512Lanes, hash_lanes_avx512_from, 2>(start, lane_prefix, lane_out, filled, suffix);
}
#endif

#if defined(__x86_64__)
bool cpu_has_avx2() noexcept {
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx2");
}

bool cpu_has_avx512() noexcept {
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
         __builtin_cpu_supports("avx512vl");
}
#endif

bool always() noexcept { return true; }

struct KernelEntry {
  const char* name;
  const char* alias;  // the shorter name KORVI_SHA512 may use
  BatchKernel run;
  bool (*available)() noexcept;
};

// Best first. A final partial group goes to the vector kernel once that is
// cheaper than hashing its messages one by one (measured: one eight-lane
// call costs about 1.7 scalar hashes, one four-lane call about 2.8).
constexpr KernelEntry kKernels[] = {
#if defined(__x86_64__)
    {"avx512x16", "avx512", batch_lanes<kAvx512x16Lanes, hash_lanes_avx512x16_from, 10, finish_avx512x16>,
     cpu_has_avx512},
    {"avx512x8", "avx512x8", batch_lanes<kAvx512Lanes, hash_lanes_avx512_from, 2>, cpu_has_avx512},
    {"avx2x4", "avx2", batch_lanes<kAvx2Lanes, hash_lanes_avx2_from, 3>, cpu_has_avx2},
#endif
#if defined(__wasm_simd128__)
    // A lone last message goes to the scalar code rather than beside an idle lane.
    {"simd128x2", "simd128", batch_lanes<kSimd128Lanes, hash_lanes_simd128_from, 2>, always},
#endif
    {"scalar", "scalar", batch_scalar, always},
    {"libsodium", "libsodium", batch_libsodium, always},
};

const KernelEntry* find_kernel(std::string_view name) noexcept {
  for (const auto& k : kKernels) {
    if (name == k.name || name == k.alias) return &k;
  }
  return nullptr;
}

const KernelEntry& chosen_kernel() noexcept {
  // Decided once; a magic static is thread-safe and the only state kept.
  static const KernelEntry& entry =
      *find_kernel(choose_sha512_kernel(std::getenv("KORVI_SHA512")));
  return entry;
}

}  // namespace

bool sha512_kernel_available(std::string_view kernel) noexcept {
  const KernelEntry* k = find_kernel(kernel);
  return k != nullptr && k->available();
}

const char* choose_sha512_kernel(const char* request) noexcept {
  if (request != nullptr) {
    const KernelEntry* k = find_kernel(request);
    if (k != nullptr && k->available()) return k->name;
  }
  for (const auto& k : kKernels) {
    if (k.available()) return k.name;
  }
  return "libsodium";  // not reached: the last entries are always available
}

const char* sha512_batch_kernel() noexcept { return chosen_kernel().name; }

void sha512_batch(const std::string_view* prefixes, size_t count, std::string_view suffix,
                  uint8_t* digests) noexcept {
  chosen_kernel().run(kFreshStart, prefixes, count, suffix, digests);
}

bool sha512_batch_with(std::string_view kernel, const std::string_view* prefixes, size_t count,
                       std::string_view suffix, uint8_t* digests) noexcept {
  const KernelEntry* k = find_kernel(kernel);
  if (k == nullptr || !k->available()) return false;
  k->run(kFreshStart, prefixes, count, suffix, digests);
  return true;
}

void sha512_batch_continued(const uint64_t* state, const std::string_view* prefixes, size_t count,
                            std::string_view suffix, uint8_t* digests) noexcept {
  chosen_kernel().run({state, kSha512BlockBytes}, prefixes, count, suffix, digests);
}

bool sha512_batch_continued_with(std::string_view kernel, const uint64_t* state,
                                 const std::string_view* prefixes, size_t count,
                                 std::string_view suffix, uint8_t* digests) noexcept {
  const KernelEntry* k = find_kernel(kernel);
  if (k == nullptr || !k->available()) return false;
  k->run({state, kSha512BlockBytes}, prefixes, count, suffix, digests);
  return true;
}

void sha512_compress(uint64_t* state, const uint8_t* block) noexcept {
  compress_block(state, block);
}

void sha512_initial_state(uint64_t* state) noexcept {
  std::memcpy(state, kInitialState, sizeof kInitialState);
}

}  // namespace korvi::core
