// The keyed exports. Input: key length (2 bytes, little-endian, modulo
// 1100), the key material (cycled from the next 32 bytes), the flags word
// (4 bytes), the cleaning mode (1 byte, signed), which export (1 byte), one
// byte whose bit i makes argument i NULL, then the arguments' texts
// separated by zero bytes.
//
// A key exists exactly for 16 to 1024 bytes of material. Every keyed answer
// has the shape of the public-salt answer to the same arguments (equal with
// every hex digit masked, equal outright for parse-only trees); a keyed
// chunk equals libsodium's HMAC-SHA512 under the fingerprint key derived
// here; a NULL key answers like a NULL text.
#include <sodium.h>

#include <array>

#include "core/keyed.h"
#include "fuzz/fuzz_util.h"

namespace {

using korvi::fuzz::take_text;

std::string masked(std::string text) {
  for (char& c : text) {
    if ((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f')) c = 'h';
  }
  return text;
}

std::string result_text(FingerprintResult* result) {
  FUZZ_CHECK(result != nullptr && result->text != nullptr);
  std::string out = std::to_string(result->status) + ":" + result->text;
  free_result(result);
  return out;
}

// HMAC-SHA512 of text under the fingerprint key of material, by libsodium.
std::string reference_chunk(const std::string& material, const char* text, bool short_form) {
  uint8_t prk[64], k[64];
  korvi::core::hkdf_extract(korvi::core::kKeyDerivationSalt, material, prk);
  korvi::core::hkdf_expand(prk, korvi::core::kFingerprintKeyInfo, k, sizeof k);
  crypto_auth_hmacsha512_state state;
  crypto_auth_hmacsha512_init(&state, k, sizeof k);
  crypto_auth_hmacsha512_update(&state, reinterpret_cast<const unsigned char*>(text), std::strlen(text));
  crypto_auth_hmacsha512_update(&state, reinterpret_cast<const unsigned char*>("Qm7pZ2vX+9LcT4nB8rKs1A"), 22);
  uint8_t mac[64];
  crypto_auth_hmacsha512_final(&state, mac);
  char hex[129];
  sodium_bin2hex(hex, sizeof hex, mac, sizeof mac);
  return std::string(hex, short_form ? 16 : 64);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  korvi::fuzz::Input input(data, size);
  const size_t length = (input.byte() | static_cast<size_t>(input.byte()) << 8) % 1100;
  const std::string seed = input.take(32);
  std::string material(length, '\0');
  for (size_t i = 0; i < length && !seed.empty(); ++i) material[i] = seed[i % seed.size()];
  const uint32_t flags = input.u32();
  const int mode = static_cast<int8_t>(input.byte());
  const uint8_t which = input.byte() % 8;
  const uint8_t nulls = input.byte();
  std::array<std::string, 5> texts;
  std::array<const char*, 5> args{};
  for (size_t i = 0; i < texts.size(); ++i) {
    texts[i] = input.until_zero();
    args[i] = ((nulls >> i) & 1) != 0 ? nullptr : texts[i].c_str();
  }

  korvi_key* key = korvi_key_new(reinterpret_cast<const unsigned char*>(material.data()), material.size());
  FUZZ_CHECK((key != nullptr) == (length >= 16 && length <= 1024));
  char id[17];
  FUZZ_CHECK(korvi_key_id(key, id) == (key != nullptr));
  FUZZ_CHECK(key == nullptr ? id[0] == '\0' : std::strlen(id) == 16 && korvi::fuzz::is_lower_hex(id));

  std::string keyed, plain;
  switch (which) {
    case 0:
      keyed = result_text(fingerprint_keyed(key, args[0], mode, flags));
      plain = result_text(fingerprint(key == nullptr ? nullptr : args[0], mode, flags));
      if ((flags & (FINGERPRINT_BOOLEAN | FINGERPRINT_PARSE_ONLY)) ==
          (FINGERPRINT_BOOLEAN | FINGERPRINT_PARSE_ONLY)) {
        FUZZ_CHECK(keyed == plain);
      }
      break;
    case 1: {
      const auto chunk = take_text(fingerprint_chunk_keyed(key, args[0], flags));
      FUZZ_CHECK(chunk.has_value() == (key != nullptr && args[0] != nullptr));
      if (chunk) {
        FUZZ_CHECK(*chunk == reference_chunk(material, args[0], (flags & FINGERPRINT_SHORT) != 0));
      }
      break;
    }
    case 2:
      keyed = *take_text(assets_from_name_keyed(key, args[0], args[1], args[2], args[3], args[4]));
      plain = *take_text(assets_from_name(args[0], key == nullptr ? nullptr : args[1], args[2], args[3], args[4]));
      break;
    case 3:
      keyed = *take_text(assets_from_address_keyed(key, args[0], args[1], args[2]));
      plain = *take_text(assets_from_address(args[0], key == nullptr ? nullptr : args[1], args[2]));
      break;
    case 4:
      keyed = *take_text(assets_from_city_state_zip_keyed(key, args[0], args[1], args[2], args[3], args[4]));
      plain = *take_text(assets_from_city_state_zip(args[0], key == nullptr ? nullptr : args[1], args[2], args[3], args[4]));
      break;
    case 5:
      keyed = *take_text(assets_from_email_address_keyed(key, args[0], args[1], args[2]));
      plain = *take_text(assets_from_email_address(args[0], key == nullptr ? nullptr : args[1], args[2]));
      break;
    case 6:
      keyed = *take_text(assets_from_ssn_keyed(key, args[0], args[1], args[2]));
      plain = *take_text(assets_from_ssn(args[0], key == nullptr ? nullptr : args[1], args[2]));
      break;
    default:
      keyed = *take_text(assets_from_phone_number_keyed(key, args[0], args[1], args[2]));
      plain = *take_text(assets_from_phone_number(args[0], key == nullptr ? nullptr : args[1], args[2]));
      break;
  }
  // Metadata may hold hex digits too; masking both sides alike keeps them equal.
  FUZZ_CHECK(masked(keyed) == masked(plain));
  korvi_key_free(key);
  return 0;
}
