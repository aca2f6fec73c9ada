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
/* fingerprint() with FINGERPRINT_RAW for count texts in one call, for
 * callers to whom each call costs (bindings, WebAssembly): the bare
 * fingerprints of every text back to back in the order of the texts,
 * zero-terminated; release with free() (2). counts[i] receives the number of
 * fingerprints of texts[i] (KORVI_FINGERPRINT_DIGITS hex digits each,
 * KORVI_SHORT_FINGERPRINT_DIGITS with FINGERPRINT_SHORT), or minus the status
 * fingerprint() gives a text it refuses (-STATUS_TOO_SHORT, -STATUS_BAD_UTF8;
 * a NULL text is -STATUS_BAD_UTF8). Only FINGERPRINT_TILED and
 * FINGERPRINT_SHORT are read from flags: the plain road is always taken.
 * Returns NULL (counts then unspecified) when memory runs out, or texts or
 * counts is NULL while count is not 0. */
KORVI_API char *korvi_fingerprint_many(const char *const *texts, size_t count, int32_t clean_mode,
                                       uint32_t flags, int64_t *counts) KORVI_NOEXCEPT;
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
