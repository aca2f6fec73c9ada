// C exports of the key handle and of keyed whole-text fingerprints.
#include <cstdlib>
#include <string_view>

#include "core/fingerprints.h"
#include "core/keyed.h"
#include "korvi/key.h"

extern "C" {

KORVI_API korvi_key* korvi_key_new(const unsigned char* bytes, size_t length) noexcept {
  if (bytes == nullptr) return nullptr;
  return korvi::core::new_key(std::string_view(reinterpret_cast<const char*>(bytes), length));
}

KORVI_API void korvi_key_free(korvi_key* key) noexcept { korvi::core::delete_key(key); }

KORVI_API bool korvi_key_id(const korvi_key* key, char out[17]) noexcept {
  if (out == nullptr) return false;
  if (key == nullptr) {
    out[0] = '\0';
    return false;
  }
  for (int i = 0; i < 17; ++i) out[i] = key->id[i];
  return true;
}

KORVI_API char* fingerprint_chunk_keyed(const korvi_key* key, const char* text,
                                        uint32_t flags) noexcept {
  if (key == nullptr || text == nullptr) return nullptr;
  const bool short_form = (flags & FINGERPRINT_SHORT) != 0;
  char* out = static_cast<char*>(
      std::calloc(short_form ? KORVI_SHORT_FINGERPRINT_DIGITS + 1 : KORVI_FINGERPRINT_DIGITS + 1, 1));
  if (out != nullptr) korvi::core::hash_hex(text, short_form, out, key);
  return out;
}

}  // extern "C"
