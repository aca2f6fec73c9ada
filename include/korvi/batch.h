/* korvi batch assets: the assets of one personal field for many records in
 * one call, returned as one compact buffer instead of one JSON text per
 * record. Meant for callers that hold whole columns (data frames, columnar
 * files), where a call and a JSON parse per record would cost more than the
 * fingerprints themselves.
 *
 * Each row gets exactly the fingerprints and variant numbers that the
 * record's assets_from_* call puts into its JSON array, under the rules of
 * the korvi command for cells: a text that is empty or only spaces, tabs,
 * CR and LF is absent; a name is fingerprinted when any of its three texts
 * is present (an absent middle name means there is none), a city-state-zip
 * line when any of its texts is, every other field when its text is. A
 * text ends at its first NUL byte, as a C string would. */
#ifndef KORVI_BATCH_H
#define KORVI_BATCH_H

#include "korvi/common.h"

#ifdef __cplusplus
extern "C" {
#endif

/* One column of texts: text i is bytes[offsets[i]] up to, not including,
 * bytes[offsets[i + 1]] (rows + 1 offsets, never decreasing). A column whose
 * bytes or offsets are NULL holds no texts: every row is absent there. */
typedef struct KorviTextColumn {
  const char *bytes;
  const uint64_t *offsets;
} KorviTextColumn;

/* The answer: one allocation holding this record and every array it points
 * to. Assets follow the rows in order, and within a row the variants in
 * order; fingerprints follow the assets in order, each asset's in the order
 * of its JSON array. */
typedef struct KorviAssetBatch {
  uint64_t rows;
  uint64_t assets;       /* of all rows */
  uint64_t fingerprints; /* of all assets */
  const uint32_t *assets_per_row;         /* rows entries */
  const uint32_t *variant_ids;            /* assets entries; 0 with KORVI_BATCH_DISTINCT */
  const uint32_t *fingerprints_per_asset; /* assets entries, each at least 1 */
  /* Each fingerprint as 16 lower-case hex digits followed by one space
   * (17 bytes apiece; the text is zero-terminated after the last space). */
  const char *hex;
  /* The same fingerprints as numbers: the 16 hex digits read as one 64-bit
   * unsigned integer, so numeric order is the order of the texts. */
  const uint64_t *words;
} KorviAssetBatch;

/* Instead of the assets of each row, one group per row that has any: the
 * sorted, distinct fingerprints of all its assets (variant id 0). */
#define KORVI_BATCH_DISTINCT 0x01u

/* The assets of field ("name", "address", "city_state_zip",
 * "email_address", "ssn" or "phone_number") for rows records whose texts
 * are in columns: first, middle and last name for "name"; city, state and
 * ZIP code for "city_state_zip"; the one value for the others.
 * column_count must be 3 or 1 accordingly. Returns a record that the caller
 * releases with korvi_free() (one call frees everything), or NULL when the
 * field is unknown, column_count does not fit it, columns is NULL while
 * rows is not 0, offsets decrease, or memory runs out. */
KORVI_API KorviAssetBatch *korvi_assets_batch(const char *field, uint64_t rows,
                                              const KorviTextColumn *columns, size_t column_count,
                                              uint32_t flags) KORVI_NOEXCEPT;

#ifdef __cplusplus
}
#endif
#endif
