// SHA-512 of many short messages sharing one suffix (windows + salt), several
// at a time. Messages that fit one padded block (up to 111 bytes) are hashed
// by a multi-buffer kernel picked once from the CPU's features.
// The library's one door to SHA-512: every hash goes through here, a single
// whole text included, and only the general path below calls libsodium.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace korvi::core {

inline constexpr size_t kSha512Bytes = 64;

// Longest message whose padded form is a single 128-byte block.
inline constexpr size_t kSha512OneBlockMax = 111;

// Digests of count messages, message i being prefixes[i] followed by suffix.
// digests receives count * 64 bytes. Messages of up to 111 bytes take the
// one-block fast path; longer ones go to the general implementation.
void sha512_batch(const std::string_view* prefixes, size_t count, std::string_view suffix,
                  uint8_t* digests) noexcept;

// Bytes of one SHA-512 block.
inline constexpr size_t kSha512BlockBytes = 128;

// Continued hashes, as HMAC makes them: state (eight words) has already
// absorbed one 128-byte block, and message i (prefixes[i] + suffix, at most
// 111 bytes: callers send longer ones elsewhere) is the rest. Writes the
// final digests like sha512_batch.
void sha512_batch_continued(const uint64_t* state, const std::string_view* prefixes, size_t count,
                            std::string_view suffix, uint8_t* digests) noexcept;
bool sha512_batch_continued_with(std::string_view kernel, const uint64_t* state,
                                 const std::string_view* prefixes, size_t count,
                                 std::string_view suffix, uint8_t* digests) noexcept;

// The chaining state of a fresh hash, and one raw block compressed into a
// state (no padding): how HMAC key blocks are absorbed once per key.
void sha512_initial_state(uint64_t* state) noexcept;
void sha512_compress(uint64_t* state, const uint8_t* block) noexcept;

// Which kernel sha512_batch uses: "avx512x16", "avx512x8", "avx2x4", "scalar"
// or "libsodium".
// Chosen at first use; KORVI_SHA512=libsodium|scalar|avx2|avx512 in the
// environment at that moment forces one (if the CPU has it).
const char* sha512_batch_kernel() noexcept;

// For tests and benchmarks: every kernel name, best first.
inline constexpr const char* kSha512Kernels[] = {"avx512x16", "avx512x8", "avx2x4", "scalar",
                                                 "libsodium"};

// Whether this build and CPU can run the named kernel.
bool sha512_kernel_available(std::string_view kernel) noexcept;

// The kernel a request names ("avx512" and "avx2" are accepted for the
// vector kernels): the best available one when the request is null, unknown
// or not runnable here.
const char* choose_sha512_kernel(const char* request) noexcept;

// sha512_batch through the named kernel; false (and nothing written) when
// that kernel is unknown or not available.
bool sha512_batch_with(std::string_view kernel, const std::string_view* prefixes, size_t count,
                       std::string_view suffix, uint8_t* digests) noexcept;

}  // namespace korvi::core
