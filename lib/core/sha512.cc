#include "core/sha512.h"

#include <sodium.h>

namespace korvi::core {

void sha512_concat(std::string_view first, std::string_view second, uint8_t* digest) noexcept {
  crypto_hash_sha512_state state;
  crypto_hash_sha512_init(&state);
  crypto_hash_sha512_update(&state, reinterpret_cast<const unsigned char*>(first.data()),
                            first.size());
  crypto_hash_sha512_update(&state, reinterpret_cast<const unsigned char*>(second.data()),
                            second.size());
  crypto_hash_sha512_final(&state, digest);
}

}  // namespace korvi::core
