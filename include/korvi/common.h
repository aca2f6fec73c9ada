/* korvi: salted fingerprints of personal identifiers.
 *
 * Shared definitions of the public C interface. Every string passed in is a
 * zero-terminated UTF-8 text; every string or record handed back is a fresh
 * heap allocation owned by the caller. Unless a function says otherwise,
 * release returned strings with free() (or korvi_free() where the caller's C
 * runtime may differ from the library's). No function writes to the standard
 * streams, ends the process or keeps state between calls; all are safe to
 * call from many threads at once. */
#ifndef KORVI_COMMON_H
#define KORVI_COMMON_H

#include <stdbool.h>
#include <stddef.h>
#include <stdint.h>

#if defined(_WIN32) && !defined(KORVI_BUILDING_LIBRARY)
#define KORVI_API __declspec(dllimport)
#elif defined(_WIN32)
/* The DLL exports exactly the names of its .def file (dist/libkorviw64.def). */
#define KORVI_API
#else
#define KORVI_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
#define KORVI_NOEXCEPT noexcept
extern "C" {
#else
#define KORVI_NOEXCEPT
#endif

/* Flags word of fingerprint(); bits may be combined. */
#define FINGERPRINT_BOOLEAN 0x01u    /* the text is a boolean expression */
#define FINGERPRINT_RAW 0x02u        /* plain road: bare concatenated hex, no JSON */
#define FINGERPRINT_TILED 0x04u      /* side-by-side tiles instead of sliding shingles */
#define FINGERPRINT_SHORT 0x08u      /* 16 hex digits instead of 64 */
#define FINGERPRINT_PARSE_ONLY 0x10u /* with FINGERPRINT_BOOLEAN: the bare expression tree */

/* Cleaning modes; any value other than 1 and 2 cleans as CLEAN_TEXT. */
#define CLEAN_TEXT 0
#define CLEAN_CODE 1
#define CLEAN_DIGITS 2

/* Status of a FingerprintResult, and the message of its error envelope. */
#define STATUS_OK 0
#define STATUS_TOO_SHORT 1   /* "Input length too short" */
#define STATUS_BAD_UTF8 2    /* "Failed utf8 conversion" */
#define STATUS_PARSE_ERROR 3 /* "Expression parse error" */

/* Hex digits of one fingerprint, and the buffer sizes that hold one. */
#define KORVI_FINGERPRINT_DIGITS 64
#define KORVI_SHORT_FINGERPRINT_DIGITS 16

typedef struct FingerprintResult {
  int32_t status; /* STATUS_* */
  char *text;     /* owned: JSON envelope, or bare hex with FINGERPRINT_RAW */
} FingerprintResult;

/* Releases any pointer returned by this library (except FingerprintResult
 * records, ShingleSets and JSON trees, which have their own release
 * functions) with the library's own C runtime. NULL is ignored. */
KORVI_API void korvi_free(void *pointer) KORVI_NOEXCEPT;

/* Static texts: the library version ("0.1.0"), the Unicode version of the
 * character data that cleaning uses ("15.0.0" with utf8proc 2.8.0), and the
 * SHA-512 kernel in use ("avx512x16", "avx512x8", "avx2x4", "scalar" or "libsodium";
 * KORVI_SHA512 in the environment at first use may force one). Never free
 * them. */
KORVI_API const char *korvi_version(void) KORVI_NOEXCEPT;
KORVI_API const char *korvi_unicode_version(void) KORVI_NOEXCEPT;
KORVI_API const char *korvi_sha512_implementation(void) KORVI_NOEXCEPT;

#ifdef __cplusplus
}
#endif
#endif
