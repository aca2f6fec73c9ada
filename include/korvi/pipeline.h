/* korvi pipeline: the steps behind fingerprint() and clean_string(), for
 * callers that want them one by one: UTF-8 and code-point strings, the
 * cleaning of single code points, cutting into 14-code-point windows,
 * hashing, and the sorted, de-duplicated shingle set. Most callers need
 * only korvi/fingerprint.h and korvi/text.h. Conventions: common.h (1)-(5).
 *
 * A code-point string is a heap array of int32_t values ended by 0; release
 * it with free() (2). */
#ifndef KORVI_PIPELINE_H
#define KORVI_PIPELINE_H

#include "korvi/common.h"
#include "korvi/json.h"

#ifdef __cplusplus
extern "C" {
#endif

/* ---- code points and cleaning (text) ---- */

/* Called by unicode_mutate for each code point; returning 0 deletes it. */
typedef int32_t (*unicode_mapping_fn)(int32_t codepoint, void *user);

/* Code points of a UTF-8 text, or NULL when it holds an ill-formed sequence
 * (stray continuation byte, overlong form, surrogate, beyond U+10FFFF,
 * truncated sequence). */
KORVI_API int32_t *utf8_decode(const char *text) KORVI_NOEXCEPT;
/* UTF-8 text of a code-point string; values below 0 or above U+10FFFF are
 * skipped. */
KORVI_API char *utf8_encode(const int32_t *codepoints) KORVI_NOEXCEPT;
/* Number of code points before the terminating 0. */
KORVI_API size_t unicode_length(const int32_t *codepoints) KORVI_NOEXCEPT;
/* Exact-size copy (length + 1 slots). */
KORVI_API int32_t *unicode_duplicate(const int32_t *codepoints) KORVI_NOEXCEPT;
/* Maps every code point in place through fn, deleting those mapped to 0. */
KORVI_API void unicode_mutate(int32_t *codepoints, unicode_mapping_fn fn, void *user) KORVI_NOEXCEPT;

/* Whether the general category of a code point is kept by CLEAN_TEXT,
 * CLEAN_CODE, or CLEAN_DIGITS (decimal digits, Nd, only). */
KORVI_API bool is_valid_text(int32_t codepoint) KORVI_NOEXCEPT;
KORVI_API bool is_valid_code(int32_t codepoint) KORVI_NOEXCEPT;
KORVI_API bool is_valid_digit(int32_t codepoint) KORVI_NOEXCEPT;
/* The code point when the mode keeps it, else U+0020 (CLEAN_TEXT, CLEAN_CODE)
 * or 0 (CLEAN_DIGITS). */
KORVI_API int32_t filter_codepoint_by_mode(int32_t codepoint, int mode) KORVI_NOEXCEPT;
/* Upper-cases a code point (simple mapping; U+00DF stays U+00DF) and filters
 * it by the mode held in the low 32 bits of user. */
KORVI_API int32_t filter_and_upcase(int32_t codepoint, void *user) KORVI_NOEXCEPT;
/* New array in which every run of space separators (Zs) is one U+0020. */
KORVI_API int32_t *unicode_collapse_whitespace(const int32_t *codepoints) KORVI_NOEXCEPT;
/* New array: upper-cased, filtered by mode, spaces collapsed. */
KORVI_API int32_t *unicode_clean(const int32_t *codepoints, int mode) KORVI_NOEXCEPT;
/* Same as clean_string() (korvi/text.h). */
KORVI_API char *utf8_clean(const char *text, int mode) KORVI_NOEXCEPT;

/* ---- windows, hashes and shingle sets ---- */

/* Writes the fingerprint of length bytes at text into out (65 bytes, or 17
 * with FINGERPRINT_SHORT), zero-terminated. */
KORVI_API void fingerprint_shingle(const char *text, char *out, size_t length,
                                   uint32_t flags) KORVI_NOEXCEPT;
/* Writes count bytes as lower-case hex plus a terminating zero into out
 * (2 * count + 1 bytes); returns count. NULL bytes write the empty text and
 * return 0. */
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
 * more: an unchanged copy. Release with free() (2). */
KORVI_API char *pad_string(const char *text, FingerprintResult *result) KORVI_NOEXCEPT;
/* One fingerprint per sliding window of 14 code points, or per tile (windows
 * side by side, the last one flush with the end), unsorted. NULL when text is
 * not valid UTF-8 or holds fewer than 14 code points. Release with
 * free_shingles(). */
KORVI_API ShingleSet *shingled(const char *text, uint32_t flags) KORVI_NOEXCEPT;
KORVI_API ShingleSet *tiled(const char *text, uint32_t flags) KORVI_NOEXCEPT;
/* The whole pipeline: clean, check length, pad, cut, hash, sort, de-duplicate.
 * Raises result->status (STATUS_BAD_UTF8, STATUS_TOO_SHORT) instead of
 * returning a set; hashes nothing when the status handed in is not
 * STATUS_OK. */
KORVI_API ShingleSet *fingerprint_string(const char *text, int clean_mode, uint32_t flags,
                                         FingerprintResult *result) KORVI_NOEXCEPT;

/* A set of count empty items of length hex digits each; release with
 * free_shingles(). */
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
/* The items concatenated, count * length characters. Release with free() (2). */
KORVI_API char *raw_encode(const ShingleSet *set) KORVI_NOEXCEPT;

#ifdef __cplusplus
}
#endif
#endif
