/* korvi text normalization: UTF-8 <-> code points, and the cleaning modes
 * that bring every text into the canonical form fingerprints are taken from.
 *
 * A code-point string is a heap array of int32_t values ended by 0. Arrays
 * and texts returned here are owned by the caller: release them with free()
 * (or korvi_free()). NULL arguments are accepted and give NULL / 0 / false.
 * Functions that allocate return NULL when memory runs out. */
#ifndef KORVI_TEXT_H
#define KORVI_TEXT_H

#include "korvi/common.h"

#ifdef __cplusplus
extern "C" {
#endif

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
/* Cleaned UTF-8 text, or NULL when text is not valid UTF-8. Nothing is
 * trimmed: leading or trailing spaces stay as one space each. */
KORVI_API char *utf8_clean(const char *text, int mode) KORVI_NOEXCEPT;
/* Same as utf8_clean; the caller frees the result with free(). */
KORVI_API char *clean_string(const char *text, int mode) KORVI_NOEXCEPT;

#ifdef __cplusplus
}
#endif
#endif
