/* korvi keyed fingerprints: a secret shared by the two sides of one
 * partnership, so that nobody without it can test guesses against their
 * fingerprints (the public-salt functions are a public function: anyone can
 * hash every social-security number and compare).
 *
 * The key material (16 to 1024 bytes, meant to be random; 32 recommended)
 * goes through HKDF-SHA512 (RFC 5869, salt "korvi keyed fingerprints v1"):
 * the fingerprint key K = HKDF-Expand(PRK, "fingerprint", 64) and the key id
 * = hex of HKDF-Expand(PRK, "key id", 8). A keyed fingerprint is
 * HMAC-SHA512(K, M), M being exactly the bytes the public-salt function
 * hashes (the salt included), cut to the same 64 or 16 hex digits. Output
 * shapes, sort order and envelopes are those of the public-salt functions.
 *
 * A korvi_key is immutable: any number of threads may share one. Every
 * keyed function refuses a NULL key as it refuses a NULL text; none falls
 * back to the public salt. The library reads no key from files or the
 * environment: that is the caller's business. */
#ifndef KORVI_KEY_H
#define KORVI_KEY_H

#include "korvi/common.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct korvi_key korvi_key;

/* A key from length bytes of material; NULL when length is below 16 or
 * above 1024, bytes is NULL, or memory runs out. The material is not kept.
 * Release with korvi_key_free(). */
KORVI_API korvi_key *korvi_key_new(const unsigned char *bytes, size_t length) KORVI_NOEXCEPT;
/* Wipes the key's secret state and releases it. NULL is ignored. */
KORVI_API void korvi_key_free(korvi_key *key) KORVI_NOEXCEPT;
/* Writes the key id, 16 lower-case hex digits and a terminating zero, into
 * out (17 bytes): safe to show, log and compare between partners. False
 * (and out, if given, set to "") when key or out is NULL. */
KORVI_API bool korvi_key_id(const korvi_key *key, char out[17]) KORVI_NOEXCEPT;

/* The keyed forms of fingerprint(), fingerprint_chunk() and the six
 * assets_from_*() functions: the key first, then the same arguments, with
 * answers of the same shape released the same way (free_result() for the
 * record, free() / korvi_free() for text). A NULL key answers as a NULL
 * text does: "Failed utf8 conversion", NULL, or "[]". */
KORVI_API FingerprintResult *fingerprint_keyed(const korvi_key *key, const char *text,
                                               int32_t clean_mode, uint32_t flags) KORVI_NOEXCEPT;
/* korvi_fingerprint_many() with the key; a NULL key refuses every text
 * (-STATUS_BAD_UTF8). */
KORVI_API char *korvi_fingerprint_many_keyed(const korvi_key *key, const char *const *texts,
                                             size_t count, int32_t clean_mode, uint32_t flags,
                                             int64_t *counts) KORVI_NOEXCEPT;
KORVI_API char *fingerprint_chunk_keyed(const korvi_key *key, const char *text,
                                        uint32_t flags) KORVI_NOEXCEPT;
KORVI_API char *assets_from_name_keyed(const korvi_key *key, const char *record_type,
                                       const char *record_id, const char *first_name,
                                       const char *middle_name,
                                       const char *last_name) KORVI_NOEXCEPT;
KORVI_API char *assets_from_address_keyed(const korvi_key *key, const char *record_type,
                                          const char *record_id,
                                          const char *address) KORVI_NOEXCEPT;
KORVI_API char *assets_from_city_state_zip_keyed(const korvi_key *key, const char *record_type,
                                                 const char *record_id, const char *city,
                                                 const char *state,
                                                 const char *zip) KORVI_NOEXCEPT;
KORVI_API char *assets_from_email_address_keyed(const korvi_key *key, const char *record_type,
                                                const char *record_id,
                                                const char *email_address) KORVI_NOEXCEPT;
KORVI_API char *assets_from_ssn_keyed(const korvi_key *key, const char *record_type,
                                      const char *record_id, const char *ssn) KORVI_NOEXCEPT;
KORVI_API char *assets_from_phone_number_keyed(const korvi_key *key, const char *record_type,
                                               const char *record_id,
                                               const char *phone_number) KORVI_NOEXCEPT;

#ifdef __cplusplus
}
#endif
#endif
