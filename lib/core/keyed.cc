#include "core/keyed.h"

#include <sodium.h>

#include <new>
#include <cstring>

namespace korvi::core {

void hkdf_extract(std::string_view salt, std::string_view material, uint8_t* prk) noexcept {
  HmacSha512(salt).mac(material, prk);
}

void hkdf_expand(const uint8_t* prk, std::string_view info, uint8_t* out, size_t length) noexcept {
  // One round of the expansion gives 64 bytes, all that is ever asked for.
  const HmacSha512 mac(std::string_view(reinterpret_cast<const char*>(prk), kHmacSha512Bytes));
  const char counter = 0x01;
  const std::string_view message[] = {info};
  uint8_t block[kHmacSha512Bytes];
  mac.batch(message, 1, std::string_view(&counter, 1), block);
  std::memcpy(out, block, length < sizeof block ? length : sizeof block);
  sodium_memzero(block, sizeof block);
}

Key* new_key(std::string_view material) noexcept {
  if (material.size() < kKeyMinBytes || material.size() > kKeyMaxBytes) return nullptr;
  uint8_t prk[kHmacSha512Bytes];
  uint8_t fingerprint_key[kHmacSha512Bytes];
  uint8_t id[8];
  hkdf_extract(kKeyDerivationSalt, material, prk);
  hkdf_expand(prk, kFingerprintKeyInfo, fingerprint_key, sizeof fingerprint_key);
  hkdf_expand(prk, kKeyIdInfo, id, sizeof id);
  sodium_memzero(prk, sizeof prk);
  Key* key = new (std::nothrow)
      Key(std::string_view(reinterpret_cast<const char*>(fingerprint_key), sizeof fingerprint_key));
  sodium_memzero(fingerprint_key, sizeof fingerprint_key);
  if (key == nullptr) return nullptr;
  static constexpr char kDigits[] = "0123456789abcdef";
  for (size_t i = 0; i < sizeof id; ++i) {
    key->id[2 * i] = kDigits[id[i] >> 4];
    key->id[2 * i + 1] = kDigits[id[i] & 15];
  }
  key->id[16] = '\0';
  return key;
}

void delete_key(Key* key) noexcept {
  // The destructor wipes the HMAC states; the id is public.
  delete key;
}

}  // namespace korvi::core
