/* korvi: salted fingerprints of personal identifiers.
 *
 * Shared definitions of the public C interface, and the conventions that
 * every function of every korvi header follows unless its own comment says
 * otherwise (the other headers refer to them as "common.h (n)"):
 *
 * (1) Text: every string passed in is a zero-terminated UTF-8 text.
 * (2) Ownership: every string, array or record handed back is a fresh heap
 *     allocation owned by the caller, released with free(), or korvi_free()
 *     where the caller's C runtime may differ from the library's. Records
 *     have their own release function: FingerprintResult free_result(),
 *     ShingleSet free_shingles(), a JSON tree json_delete() on its root, a
 *     StringList utarray_free(). Static texts (korvi_version() and the like)
 *     are never freed.
 * (3) NULL: a NULL pointer argument never crashes; it is taken as absent,
 *     and a function that cannot work without it gives NULL, 0 or false.
 * (4) Errors: nothing throws, prints or ends the process. A function that
 *     allocates returns NULL when memory runs out; other failures show in
 *     the result itself (NULL, "[]", or the status of a FingerprintResult,
 *     which is only ever raised, never reset).
 * (5) Threads: the library keeps no state between calls and reads no files
 *     (only KORVI_SHA512 in the environment, once, at the first hash); any
 *     number of threads may call it at once, each on its own arguments.
 *
 * korvi/korvi.h includes every header. The entry points come first:
 * fingerprint() and friends (korvi/fingerprint.h), clean_string()
 * (korvi/text.h), the asset builders (korvi/assets.h), boolean expressions
 * (korvi/expr.h) and JSON trees (korvi/json.h); korvi/pipeline.h holds the
 * steps of the fingerprint pipeline for callers that want them one by one. */
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

/* Releases a string or array returned by this library with the library's
 * own C runtime; records have their own release functions (2). */
KORVI_API void korvi_free(void *pointer) KORVI_NOEXCEPT;

/* Static texts, never freed: the library version ("0.1.0"), the Unicode
 * version of the character data that cleaning uses ("15.0.0" with utf8proc
 * 2.8.0), and the SHA-512 kernel in use ("avx512x16", "avx512x8", "avx2x4",
 * "scalar" or "libsodium"; KORVI_SHA512 in the environment at first use may
 * force one). */
KORVI_API const char *korvi_version(void) KORVI_NOEXCEPT;
KORVI_API const char *korvi_unicode_version(void) KORVI_NOEXCEPT;
KORVI_API const char *korvi_sha512_implementation(void) KORVI_NOEXCEPT;

#ifdef __cplusplus
}
#endif
#endif
