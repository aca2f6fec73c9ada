/* korvi link: decides which records of two `korvi assets` outputs (JSON
 * Lines, one record per line) are the same person, seeing only fingerprints.
 *
 * The steps, in the order a caller makes them:
 *
 *   1. Lines are parsed into blocks (korvi_link_block_add_line), which may
 *      happen on many threads at once, one block per thread; blocks are then
 *      appended in input order to the left or right side (korvi_link_append).
 *   2. korvi_link_prepare indexes the left side's fingerprints of the
 *      blocking fields and estimates how often unrelated records agree (from
 *      seeded random pairs).
 *   3. korvi_link_count_patterns, called on ranges of right records (many
 *      threads at once, each with its own counts), tallies the comparison
 *      patterns of the candidate pairs: pairs of records that share a
 *      fingerprint of a blocking field. korvi_link_fit estimates the model
 *      from the tallies by expectation-maximisation; korvi_link_set_model
 *      loads a model fitted before instead.
 *   4. korvi_link_score, again on ranges of right records and on many threads
 *      at once, returns the candidate pairs whose match probability reaches a
 *      threshold; korvi_link_assign keeps the best pair of every record.
 *
 * The library starts no threads: the functions marked "thread-safe" may be
 * called concurrently on one prepared linker, and the caller decides how many
 * threads do so. Memory grows with the records and the index, never with the
 * number of candidate pairs.
 *
 * A field is compared by the best overlap |A∩B| / min(|A|,|B|) of the
 * fingerprint sets over all pairs of its variants (at most 64 variants per
 * field are kept), graded into levels: exact (equal sets), strong (overlap at
 * least 2/3), weak (some fingerprint shared), none, and missing (either record
 * has no asset for the field, which weighs nothing either way).
 *
 * Strings handed back are owned by the caller and released with korvi_free(),
 * unless the function says they belong to the linker. NULL arguments never
 * crash. */
#ifndef KORVI_LINK_H
#define KORVI_LINK_H

#include "korvi/common.h"

#ifdef __cplusplus
extern "C" {
#endif

#define KORVI_LINK_LEFT 0
#define KORVI_LINK_RIGHT 1

/* At most this many fields take part in a comparison. */
#define KORVI_LINK_MAX_FIELDS 8

/* Comparison levels of a field, as they appear in KorviLinkPair.levels. */
#define KORVI_LINK_EXACT 0
#define KORVI_LINK_STRONG 1
#define KORVI_LINK_WEAK 2
#define KORVI_LINK_NONE 3
#define KORVI_LINK_MISSING 4
#define KORVI_LINK_LEVELS 5

/* korvi_link_fit flag: keep the non-match probabilities estimated from random
 * pairs instead of re-estimating them on the candidate pairs. */
#define KORVI_LINK_FIX_U 0x01u
/* korvi_link_fit flag: counts holds 2 * korvi_link_pattern_count() entries,
 * as korvi_link_count_best_patterns fills them; the second half are pairs
 * known not to match. */
#define KORVI_LINK_BEST_SPLIT 0x02u

typedef struct KorviLinker KorviLinker;
typedef struct KorviLinkBlock KorviLinkBlock;

typedef struct KorviLinkPair {
  uint32_t left, right;  /* record indexes on each side, from 0 */
  double probability;    /* match probability */
  double match_weight;   /* log2 of the odds of a match, prior included */
  uint8_t levels[KORVI_LINK_MAX_FIELDS]; /* KORVI_LINK_EXACT ... per field */
} KorviLinkPair;

/* A block of parsed records, not yet part of a linker. Released with
 * korvi_link_block_delete. NULL only when memory runs out. */
KORVI_API KorviLinkBlock *korvi_link_block_new(void) KORVI_NOEXCEPT;
KORVI_API void korvi_link_block_delete(KorviLinkBlock *block) KORVI_NOEXCEPT;

/* Parses one line of `korvi assets` output (without its line end) and adds
 * its record to the block. Returns NULL when the line was added, else a
 * message owned by the library (a static string) saying why the line was
 * refused: not JSON, truncated, no record_id, a key_id other than the
 * block's first record's, more than KORVI_LINK_MAX_FIELDS fields, out of
 * memory. A refused line adds nothing. */
KORVI_API const char *korvi_link_block_add_line(KorviLinkBlock *block, const char *line,
                                                size_t length) KORVI_NOEXCEPT;
/* Records in the block. */
KORVI_API size_t korvi_link_block_size(const KorviLinkBlock *block) KORVI_NOEXCEPT;

/* A linker with no records. Released with korvi_link_delete. NULL only when
 * memory runs out. */
KORVI_API KorviLinker *korvi_link_new(void) KORVI_NOEXCEPT;
KORVI_API void korvi_link_delete(KorviLinker *linker) KORVI_NOEXCEPT;

/* Moves the block's records to the end of a side (KORVI_LINK_LEFT or
 * KORVI_LINK_RIGHT); the block is left empty and may be reused. Returns 0, or
 * -1 with a message in *error (korvi_free; error may be NULL) when the
 * block's key_id differs from the side's, the fields would exceed
 * KORVI_LINK_MAX_FIELDS, the linker is already prepared, or memory runs out. */
KORVI_API int korvi_link_append(KorviLinker *linker, int side, KorviLinkBlock *block,
                                char **error) KORVI_NOEXCEPT;

/* The blocking rule, set before korvi_link_prepare: a pair of records is a
 * candidate when it shares fingerprints in at least `fields` blocking fields
 * (or in every blocking field, when there are fewer), or shares one
 * fingerprint that no other left record holds. The default, 2, leaves out
 * the many pairs that only share a common surname, street or birthday;
 * 1 makes every pair sharing any blocking fingerprint a candidate. Returns
 * 0, or -1 with a message in *error (korvi_free; error may be NULL) for a
 * number outside 1..KORVI_LINK_MAX_FIELDS or a linker already prepared. */
KORVI_API int korvi_link_set_min_shared_fields(KorviLinker *linker, uint32_t fields,
                                               char **error) KORVI_NOEXCEPT;

/* The model is fitted on the candidate pairs of about `records` right
 * records (0: 50,000), a sample drawn with korvi_link_prepare's seed when the
 * right side has more; fitting learns from every pair that shares any
 * blocking fingerprint, whatever the blocking rule. Set before
 * korvi_link_prepare. Returns 0, or -1 with a message in *error (korvi_free;
 * error may be NULL) for a linker already prepared. */
KORVI_API int korvi_link_set_fit_records(KorviLinker *linker, uint32_t records, char **error) KORVI_NOEXCEPT;

/* Checks that both sides were made with the same key (or both without one),
 * indexes the left side's fingerprints of the blocking fields (a
 * comma-separated list of field names; NULL or "" for every field except
 * city_state_zip), leaving out fingerprints that more than cap left records
 * hold (0: 100), and estimates the non-match probabilities from random pairs
 * drawn with seed. Returns 0, or -1 with a message in *error (korvi_free). */
KORVI_API int korvi_link_prepare(KorviLinker *linker, const char *blocking_fields, uint32_t cap,
                                 uint64_t seed, char **error) KORVI_NOEXCEPT;

/* Number of comparison patterns: KORVI_LINK_LEVELS to the power of the
 * number of fields. The counts array of korvi_link_count_patterns has this
 * many entries. 0 before korvi_link_prepare. */
KORVI_API size_t korvi_link_pattern_count(const KorviLinker *linker) KORVI_NOEXCEPT;

/* Thread-safe. Adds to counts[pattern] the fitting pairs of the right
 * records [right_begin, right_end) that are in the fitting sample (see
 * korvi_link_set_fit_records; fitting pairs share any blocking fingerprint),
 * where pattern is the sum of level * KORVI_LINK_LEVELS^field. Returns the
 * number of pairs counted. The next two functions walk the same pairs. */
KORVI_API uint64_t korvi_link_count_patterns(const KorviLinker *linker, uint32_t right_begin,
                                             uint32_t right_end, uint64_t *counts) KORVI_NOEXCEPT;

/* Thread-safe; needs a model (a first fit). Raises best[left] (an array of
 * korvi_link_record_count(linker, KORVI_LINK_LEFT) weights, which the
 * caller starts at -INFINITY) to the highest match weight of the left
 * record's candidate pairs (by the blocking rule, not only the fitting
 * sample) among the right records [right_begin, right_end).
 * Threads each fill their own array; the caller takes the maximum. */
KORVI_API void korvi_link_best_left(const KorviLinker *linker, uint32_t right_begin, uint32_t right_end,
                                    double *best) KORVI_NOEXCEPT;

/* Thread-safe; needs a model (a first fit). Like korvi_link_count_patterns,
 * but counts has 2 * korvi_link_pattern_count() entries: the pattern of each
 * pair that is the best candidate of its right record (highest match weight,
 * the first on ties) and, when left_best (from korvi_link_best_left) is
 * given, of its left record too goes to the first half; the patterns of all
 * other candidate pairs go to the second. A record is one person at most
 * once, so a second fit on these counts (KORVI_LINK_BEST_SPLIT) may take the
 * other pairs for non-matches: it then learns how often look-alikes such as
 * members of one household agree, which a fit on all candidates mistakes for
 * matches. */
KORVI_API uint64_t korvi_link_count_best_patterns(const KorviLinker *linker, uint32_t right_begin,
                                                  uint32_t right_end, const double *left_best,
                                                  uint64_t *counts) KORVI_NOEXCEPT;

/* Fits the model by expectation-maximisation on the pattern counts of the
 * fitting pairs (deterministic). When the fit degenerates (no match class,
 * everything a match, or a match class that agrees less than the non-match
 * class), the model falls back to default match probabilities and says why
 * in its "fallback" member. flags: KORVI_LINK_FIX_U, KORVI_LINK_BEST_SPLIT
 * or both. Returns 0, or -1 with a message in *error (korvi_free). */
KORVI_API int korvi_link_fit(KorviLinker *linker, const uint64_t *counts, uint32_t flags,
                             char **error) KORVI_NOEXCEPT;

/* The model as JSON text (korvi_free): fields, prior, m and u per field and
 * level, match weights, iterations and fallback. NULL before a model exists
 * or when memory runs out. */
KORVI_API char *korvi_link_model(const KorviLinker *linker) KORVI_NOEXCEPT;

/* Loads a model written by korvi_link_model; it must hold every field of the
 * linker. Returns 0, or -1 with a message in *error (korvi_free). */
KORVI_API int korvi_link_set_model(KorviLinker *linker, const char *model_json,
                                   char **error) KORVI_NOEXCEPT;

/* Thread-safe. The candidate pairs (by the blocking rule) of the right
 * records [right_begin, right_end) whose match probability is at least
 * threshold, counted in the summary's candidate_pairs, in a malloc'd
 * array of *count pairs (korvi_free). NULL (with *count 0) when memory runs
 * out or no model is set. */
KORVI_API KorviLinkPair *korvi_link_score(const KorviLinker *linker, uint32_t right_begin,
                                          uint32_t right_end, double threshold,
                                          size_t *count) KORVI_NOEXCEPT;

/* Orders pairs by left, then right record and, with one_to_one, first keeps
 * only the best pair of every record (greedy, by probability, then match
 * weight, then record indexes). Returns how many pairs are kept at the front
 * of the array. */
KORVI_API size_t korvi_link_assign(KorviLinkPair *pairs, size_t count, int one_to_one) KORVI_NOEXCEPT;

/* Thread-safe. Compares one pair of records: fills pair (levels,
 * probability and match weight when a model is set, else 0) and returns 1
 * when the pair is a candidate, 0 when blocking does not pair them, -1 for
 * an index out of range or a linker not prepared. */
KORVI_API int korvi_link_compare(const KorviLinker *linker, uint32_t left, uint32_t right,
                                 KorviLinkPair *pair) KORVI_NOEXCEPT;

/* Records on a side; the id of one (owned by the linker, NULL out of range);
 * the number of fields and the name of one (owned by the linker). */
KORVI_API uint32_t korvi_link_record_count(const KorviLinker *linker, int side) KORVI_NOEXCEPT;
KORVI_API const char *korvi_link_record_id(const KorviLinker *linker, int side,
                                           uint32_t index) KORVI_NOEXCEPT;
KORVI_API size_t korvi_link_field_count(const KorviLinker *linker) KORVI_NOEXCEPT;
KORVI_API const char *korvi_link_field_name(const KorviLinker *linker, size_t field) KORVI_NOEXCEPT;

/* Facts about the prepared linker as JSON text (korvi_free): records per
 * side, fields, blocking fields and rule, index size, fingerprints left out
 * of blocking by the cap, variants beyond 64 left out, random pairs drawn,
 * right records in the fitting sample, candidate pairs scored so far. */
KORVI_API char *korvi_link_summary(const KorviLinker *linker) KORVI_NOEXCEPT;

#ifdef __cplusplus
}
#endif
#endif
