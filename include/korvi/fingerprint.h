/* korvi fingerprints: the main entry point and whole-text fingerprints
 * (the pipeline's steps one by one are in korvi/pipeline.h). Conventions:
 * common.h (1)-(5).
 *
 * A fingerprint is the first 32 bytes (16 with FINGERPRINT_SHORT) of the
 * SHA-512 digest of a text followed by the library's 22-byte salt, written
 * as lower-case hex. */
#ifndef KORVI_FINGERPRINT_H
#define KORVI_FINGERPRINT_H

#include "korvi/common.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Fingerprints of one text (plain road) or of every operand of a boolean
 * expression (FINGERPRINT_BOOLEAN). Always returns a record with a text:
 *   {"success":true,"data":{"fingerprints":["…",…]}}    plain road
 *   {"success":true,"data":<expression tree>}           boolean road
 *   {"success":false,"error":"<message>"}               any failure
 * or, with FINGERPRINT_RAW on the plain road, the bare fingerprints back to
 * back. A NULL text answers "Failed utf8 conversion". Release the record and
 * its text together with free_result(). Returns NULL only when memory runs
 * out. */
KORVI_API FingerprintResult *fingerprint(const char *text, int32_t clean_mode,
                                         uint32_t flags) KORVI_NOEXCEPT;
/* fingerprint()'s text alone; release it with free() (2). */
KORVI_API char *js_fingerprint(const char *text, int32_t clean_mode, uint32_t flags) KORVI_NOEXCEPT;
/* Releases a record from fingerprint() and its text. */
KORVI_API void free_result(FingerprintResult *result) KORVI_NOEXCEPT;

/* Fingerprint of every byte of text exactly as given (no cleaning, no
 * windows): 64 hex digits, or 16 with FINGERPRINT_SHORT; other flag bits are
 * ignored. Release with free() (2). */
KORVI_API char *fingerprint_chunk(const char *text, uint32_t flags) KORVI_NOEXCEPT;

#ifdef __cplusplus
}
#endif
#endif
