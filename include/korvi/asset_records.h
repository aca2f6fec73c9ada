/* korvi asset records and asset trees: the steps behind the assets_from_*
 * exports of korvi/assets.h, for callers who want the JSON tree instead of
 * its text or who assemble assets of their own.
 *
 * Needs uthash's <utarray.h> (through korvi/stringlist.h), so korvi/korvi.h
 * does not include it. The Windows DLL does not export these functions; it
 * keeps its fixed list of entry points.
 *
 * Ownership: a JsonNode tree returned here is the caller's, released with
 * json_delete(); a StringList with utarray_free(); an Asset with asset_free().
 *
 * NULL and failure: NULL never crashes. The tree builders answer a NULL
 * argument (except the middle name, which may be NULL) and a value that is
 * not valid UTF-8 with an empty array, as the assets_from_* exports answer
 * "[]"; the list and record functions
 * answer a NULL text or asset with NULL (or do nothing). Every function that
 * allocates answers NULL when memory runs out; nothing prints or exits. */
#ifndef KORVI_ASSET_RECORDS_H
#define KORVI_ASSET_RECORDS_H

#include <stdlib.h>
#include <string.h>

#include "korvi/common.h"
#include "korvi/json.h"
#include "korvi/stringlist.h"

#ifdef __cplusplus
extern "C" {
#endif

/* One metadata pair of an asset; both strings are owned by the list. */
typedef struct MetadataEntry {
  char *key;
  char *value;
} MetadataEntry;

/* Element operations of a metadata list (a UT_array of MetadataEntry): the
 * copier stores copies of key and value (NULL stays NULL, and so does a copy
 * that finds no memory), the destructor frees them. Make a list with
 * utarray_new(list, &ut_metadata_icd). */
static char *metadata_duplicate(const char *text) {
  size_t size;
  char *copy;
  if (text == NULL) return NULL;
  size = strlen(text) + 1;
  copy = (char *)malloc(size);
  if (copy != NULL) memcpy(copy, text, size);
  return copy;
}
static void metadata_copy(void *dst, const void *src) {
  const MetadataEntry *from = (const MetadataEntry *)src;
  MetadataEntry *to = (MetadataEntry *)dst;
  to->key = metadata_duplicate(from->key);
  to->value = metadata_duplicate(from->value);
}
static void metadata_dtor(void *elt) {
  MetadataEntry *entry = (MetadataEntry *)elt;
  free(entry->key);
  free(entry->value);
}
static const UT_icd ut_metadata_icd UTARRAY_UNUSED = {sizeof(MetadataEntry), NULL, metadata_copy,
                                                      metadata_dtor};

/* The fingerprints of one variant with their metadata. Both lists belong to
 * the asset. */
typedef struct Asset {
  StringList *fingerprints; /* hex fingerprints, in the order produced */
  UT_array *metadata;       /* MetadataEntry, insertion order; keys may repeat */
} Asset;

/* Stores a new asset in *out. The asset adopts both lists (the caller must
 * not release them again; asset_free does) and makes an empty list in place
 * of a NULL one. The lists are adopted whatever happens: when out is NULL or
 * memory runs out they are released at once and *out (if any) is NULL. */
KORVI_API void asset_new(Asset **out, StringList *fingerprints, UT_array *metadata) KORVI_NOEXCEPT;
/* Appends copies of key and value; the caller keeps its strings. Keys are
 * not checked for repeats. A NULL asset, key or value is ignored, and so is
 * the entry when memory runs out. */
KORVI_API void asset_add_metadata(Asset *asset, const char *key, const char *value) KORVI_NOEXCEPT;
/* Releases *handle with both lists and sets *handle to NULL. A NULL handle
 * or NULL *handle does nothing. */
KORVI_API void asset_free(Asset **handle) KORVI_NOEXCEPT;
/* A new tree {"fingerprints":[…],"metadata":{…}}: the fingerprints in list
 * order, one string member per metadata entry in insertion order (NULL
 * items of either list are left out). The asset is unchanged; the caller
 * owns the tree (json_delete). NULL for a NULL asset. */
KORVI_API JsonNode *asset_to_json(const Asset *asset) KORVI_NOEXCEPT;

/* The sorted, de-duplicated fingerprints of text cleaned with mode and cut
 * as flags say (FINGERPRINT_TILED, FINGERPRINT_SHORT), as a new list
 * (utarray_free). NULL when text is NULL, is not valid UTF-8, or cleans to
 * 11 code points or fewer. */
KORVI_API StringList *fingerprints_from_string(const char *text, int mode, uint32_t flags) KORVI_NOEXCEPT;
/* A new list (utarray_free) of one fingerprint: every byte of text as it
 * stands, no cleaning (the empty text gives the fingerprint of the salt
 * alone). NULL only when text is NULL. */
KORVI_API StringList *raw_fingerprints_from_string(const char *text, uint32_t flags) KORVI_NOEXCEPT;

/* The tree builders: a new JSON array of assets (json_delete), whose
 * compact text (json_encode) is that of the assets_from_* export of the
 * same field. */
KORVI_API JsonNode *json_assets_from_name(const char *record_type, const char *record_id,
                                          const char *first_name, const char *middle_name,
                                          const char *last_name) KORVI_NOEXCEPT;
KORVI_API JsonNode *json_assets_from_address(const char *record_type, const char *record_id,
                                             const char *address) KORVI_NOEXCEPT;
KORVI_API JsonNode *json_assets_from_city_state_zip(const char *record_type, const char *record_id,
                                                    const char *city, const char *state,
                                                    const char *zip) KORVI_NOEXCEPT;
KORVI_API JsonNode *json_assets_from_email_address(const char *record_type, const char *record_id,
                                                   const char *email_address) KORVI_NOEXCEPT;
KORVI_API JsonNode *json_assets_from_ssn(const char *record_type, const char *record_id,
                                         const char *ssn) KORVI_NOEXCEPT;
KORVI_API JsonNode *json_assets_from_phone_number(const char *record_type, const char *record_id,
                                                  const char *phone_number) KORVI_NOEXCEPT;

/* The steps the builders share. One asset per variant of a list of texts,
 * numbered from 1 in list order ("variant_id"); a variant of more than 11
 * code points is cleaned as text and tiled, a shorter one hashed whole as it
 * stands; a variant with no fingerprints (or a NULL item) is skipped but
 * keeps its number. A NULL list gives an empty array. */
KORVI_API JsonNode *json_assets_from_variants(const char *record_type, const char *record_id,
                                              const char *field, const StringList *variants) KORVI_NOEXCEPT;
/* One asset: the whole value cleaned with mode, hashed as it stands. */
KORVI_API JsonNode *json_assets_from_raw(const char *record_type, const char *record_id, const char *field,
                                         int mode, const char *value) KORVI_NOEXCEPT;
/* One asset: the fingerprint of the hex text of the cleaned value's
 * fingerprint, so the value's own fingerprint never appears. */
KORVI_API JsonNode *json_assets_from_email(const char *record_type, const char *record_id, const char *field,
                                           int mode, const char *value) KORVI_NOEXCEPT;

#ifdef __cplusplus
}
#endif
#endif
