/* korvi fingerprints: the main entry point, whole-text fingerprints, and the
 * steps of the pipeline (cutting into 14-code-point windows, hashing, and the
 * sorted, de-duplicated shingle set) for callers that want them one by one.
 *
 * A fingerprint is the first 32 bytes (16 with FINGERPRINT_SHORT) of the
 * SHA-512 digest of a text followed by the library's 22-byte salt, written
 * as lower-case hex. */
#ifndef KORVI_FINGERPRINT_H
#define KORVI_FINGERPRINT_H

#include "korvi/common.h"
#include "korvi/json.h"

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
/* fingerprint()'s text alone; release it with free() / korvi_free(). */
KORVI_API char *js_fingerprint(const char *text, int32_t clean_mode, uint32_t flags) KORVI_NOEXCEPT;
/* Releases a record from fingerprint() and its text. NULL is ignored. */
KORVI_API void free_result(FingerprintResult *result) KORVI_NOEXCEPT;

/* Fingerprint of every byte of text exactly as given (no cleaning, no
 * windows): 64 hex digits, or 16 with FINGERPRINT_SHORT; other flag bits are
 * ignored. NULL text gives NULL. Release with free() / korvi_free(). */
KORVI_API char *fingerprint_chunk(const char *text, uint32_t flags) KORVI_NOEXCEPT;

/* Writes the fingerprint of length bytes at text into out (65 bytes, or 17
 * with FINGERPRINT_SHORT), zero-terminated. */
KORVI_API void fingerprint_shingle(const char *text, char *out, size_t length,
                                   uint32_t flags) KORVI_NOEXCEPT;
/* Writes count bytes as lower-case hex plus a terminating zero into out
 * (2 * count + 1 bytes); returns count. */
KORVI_API size_t sprint_hex(char *out, const uint8_t *bytes, size_t count) KORVI_NOEXCEPT;

/* The fingerprints of one text, sorted ascending and free of repeats once
 * made. Release with free_shingles(). */
typedef struct ShingleSet {
  uint32_t count;  /* items in use */
  uint32_t length; /* hex digits per item: 64 or 16 */
  char **items;    /* owned array of owned zero-terminated strings */
} ShingleSet;

/* Code points of text up to its end or its first ill-formed sequence. */
KORVI_API size_t utf8_codepoint_count(const char *text) KORVI_NOEXCEPT;
/* Bytes taken by the first n code points of text, or -1 when an ill-formed
 * sequence or the end of the text comes first. */
KORVI_API ptrdiff_t read_codepoints(const char *text, size_t n) KORVI_NOEXCEPT;
/* 11 code points or fewer: sets result->status to STATUS_TOO_SHORT and
 * returns NULL; 12 or 13: a copy with one space added at each end; 14 or
 * more: an unchanged copy. Release with free(). */
KORVI_API char *pad_string(const char *text, FingerprintResult *result) KORVI_NOEXCEPT;
/* One fingerprint per sliding window of 14 code points, or per tile (windows
 * side by side, the last one flush with the end), unsorted. NULL when text is
 * not valid UTF-8 or holds fewer than 14 code points. */
KORVI_API ShingleSet *shingled(const char *text, uint32_t flags) KORVI_NOEXCEPT;
KORVI_API ShingleSet *tiled(const char *text, uint32_t flags) KORVI_NOEXCEPT;
/* The whole pipeline: clean, check length, pad, cut, hash, sort, de-duplicate.
 * Raises result->status (STATUS_BAD_UTF8, STATUS_TOO_SHORT) instead of
 * returning a set; hashes nothing when the status handed in is not
 * STATUS_OK. */
KORVI_API ShingleSet *fingerprint_string(const char *text, int clean_mode, uint32_t flags,
                                         FingerprintResult *result) KORVI_NOEXCEPT;

/* A set of count empty items of length hex digits each. */
KORVI_API ShingleSet *new_shingles(uint32_t count, uint32_t length) KORVI_NOEXCEPT;
KORVI_API void free_shingles(ShingleSet *set) KORVI_NOEXCEPT;
/* In-place heap sort by strcmp; sift_down is its sifting step over
 * items[root .. end-1]. */
KORVI_API void sort_shingles(ShingleSet *set) KORVI_NOEXCEPT;
KORVI_API void sift_down(char **items, uint32_t root, uint32_t end) KORVI_NOEXCEPT;
/* On a sorted set: drops every item equal to its predecessor. */
KORVI_API void dedup_shingles(ShingleSet *set) KORVI_NOEXCEPT;
/* A new JSON array of copies of the items (release with json_delete()). */
KORVI_API JsonNode *shingles_to_json(const ShingleSet *set) KORVI_NOEXCEPT;
/* Appends copies of the items to array; returns how many were appended. */
KORVI_API uint32_t shingles_into_json(const ShingleSet *set, JsonNode *array) KORVI_NOEXCEPT;
/* The items concatenated, count * length characters. Release with free(). */
KORVI_API char *raw_encode(const ShingleSet *set) KORVI_NOEXCEPT;

#ifdef __cplusplus
}
#endif
#endif
