// Keyed fingerprints: the caller's key material is turned (HKDF-SHA512) into
// a fingerprint key K and a public key id; a keyed fingerprint is
// HMAC-SHA512(K, the bytes the public-salt mode hashes), cut the same way.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "core/hmac.h"

// The opaque handle of the C interface: immutable once made, so any number
// of threads may share one.
struct korvi_key {
  explicit korvi_key(std::string_view fingerprint_key) noexcept : mac(fingerprint_key) {}
  korvi::core::HmacSha512 mac;
  char id[17];  // 16 lower-case hex digits
};

namespace korvi::core {

using Key = ::korvi_key;

inline constexpr size_t kKeyMinBytes = 16;
inline constexpr size_t kKeyMaxBytes = 1024;
inline constexpr std::string_view kKeyDerivationSalt = "korvi keyed fingerprints v1";
inline constexpr std::string_view kFingerprintKeyInfo = "fingerprint";
inline constexpr std::string_view kKeyIdInfo = "key id";

// HKDF-SHA512 (RFC 5869) of material with the salt above: the pseudorandom
// key, and up to 64 bytes expanded from it for info.
void hkdf_extract(std::string_view salt, std::string_view material, uint8_t* prk) noexcept;
void hkdf_expand(const uint8_t* prk, std::string_view info, uint8_t* out, size_t length) noexcept;

// A new key from 16 to 1024 bytes of material; nullptr when the length is
// out of range or memory runs out. Release with delete_key.
Key* new_key(std::string_view material) noexcept;
void delete_key(Key* key) noexcept;

}  // namespace korvi::core
