/* The linker, the batch assets call and the version functions through the
 * library's public C interface, on every platform (the Windows DLL under
 * wine): what the platform changes is the boundary (records and structs
 * passed across it, strings released by the library's korvi_free), so the
 * records here are built so that the answers follow from their
 * construction.
 *
 * Left records L1, L2, L3 and right records R1 (L2's twin), R2 (L1's twin)
 * and R3 (L3's name, another e-mail address); fingerprints are written as
 * small numbers in 16 hex digits. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "korvi/korvi.h"

static int failed;

#define CHECK(condition)                                              \
  do {                                                                \
    if (!(condition)) {                                               \
      printf("%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition); \
      ++failed;                                                       \
    }                                                                 \
  } while (0)

/* An assets line with a name of one variant {a, b} and an e-mail address of
 * one variant {e}. */
static void record_line(char *out, size_t size, const char *id, int a, int b, int e) {
  snprintf(out, size,
           "{\"record_id\":\"%s\",\"record_type\":\"person\","
           "\"name\":[{\"fingerprints\":[\"%016x\",\"%016x\"],\"metadata\":{\"variant_id\":\"1\"}}],"
           "\"email_address\":[{\"fingerprints\":[\"%016x\"],\"metadata\":{\"variant_id\":\"1\"}}]}",
           id, a, b, e);
}

static KorviLinkBlock *block_of(const char *const *ids, const int (*prints)[3], int count) {
  KorviLinkBlock *block = korvi_link_block_new();
  int i;
  for (i = 0; block != NULL && i < count; ++i) {
    char line[512];
    const char *refusal;
    record_line(line, sizeof line, ids[i], prints[i][0], prints[i][1], prints[i][2]);
    refusal = korvi_link_block_add_line(block, line, strlen(line));
    if (refusal != NULL) printf("%s refused: %s\n", ids[i], refusal);
    CHECK(refusal == NULL);
  }
  return block;
}

static size_t field_index(const KorviLinker *linker, const char *name) {
  size_t f;
  for (f = 0; f < korvi_link_field_count(linker); ++f) {
    if (strcmp(korvi_link_field_name(linker, f), name) == 0) return f;
  }
  return (size_t)-1;
}

static void check_linker(void) {
  static const char *const left_ids[] = {"L1", "L2", "L3"};
  static const int left_prints[][3] = {{1, 2, 10}, {3, 4, 11}, {5, 6, 12}};
  static const char *const right_ids[] = {"R1", "R2", "R3"};
  static const int right_prints[][3] = {{3, 4, 11}, {1, 2, 10}, {5, 6, 99}};
  KorviLinker *linker = korvi_link_new();
  KorviLinkBlock *left = block_of(left_ids, left_prints, 3);
  KorviLinkBlock *right = block_of(right_ids, right_prints, 3);
  KorviLinkPair pair;
  char *error = NULL;
  size_t name, email, count = 0;
  uint64_t *counts;
  KorviLinkPair *pairs;

  CHECK(linker != NULL && left != NULL && right != NULL);
  if (linker == NULL || left == NULL || right == NULL) return;
  CHECK(korvi_link_block_size(left) == 3);
  CHECK(korvi_link_block_add_line(left, "[1]", 3) != NULL); /* refused, adds nothing */
  CHECK(korvi_link_block_size(left) == 3);
  CHECK(korvi_link_append(linker, KORVI_LINK_LEFT, left, &error) == 0);
  CHECK(korvi_link_append(linker, KORVI_LINK_RIGHT, right, &error) == 0);
  CHECK(korvi_link_block_size(left) == 0); /* moved into the linker */
  korvi_link_block_delete(left);
  korvi_link_block_delete(right);

  CHECK(korvi_link_model(linker) == NULL); /* nothing fitted yet */
  CHECK(korvi_link_set_min_shared_fields(linker, 0, &error) == -1);
  CHECK(error != NULL && error[0] != '\0');
  korvi_free(error);
  error = NULL;
  CHECK(korvi_link_prepare(linker, NULL, 0, 1, &error) == 0);
  if (error != NULL) {
    printf("prepare: %s\n", error);
    korvi_free(error);
    return;
  }
  CHECK(korvi_link_record_count(linker, KORVI_LINK_LEFT) == 3);
  CHECK(korvi_link_record_count(linker, KORVI_LINK_RIGHT) == 3);
  CHECK(strcmp(korvi_link_record_id(linker, KORVI_LINK_RIGHT, 2), "R3") == 0);
  CHECK(korvi_link_record_id(linker, KORVI_LINK_RIGHT, 3) == NULL);
  CHECK(korvi_link_field_count(linker) == 2);
  name = field_index(linker, "name");
  email = field_index(linker, "email_address");
  CHECK(name < 2 && email < 2 && name != email);
  if (name >= 2 || email >= 2) return;

  /* L2 and R1 agree on both fields, L3 and R3 on the name only; L1 and R1
   * share nothing, so blocking never pairs them. */
  CHECK(korvi_link_compare(linker, 1, 0, &pair) == 1);
  CHECK(pair.left == 1 && pair.right == 0);
  CHECK(pair.levels[name] == KORVI_LINK_EXACT && pair.levels[email] == KORVI_LINK_EXACT);
  CHECK(korvi_link_compare(linker, 2, 2, &pair) == 1);
  CHECK(pair.levels[name] == KORVI_LINK_EXACT && pair.levels[email] == KORVI_LINK_NONE);
  CHECK(korvi_link_compare(linker, 0, 0, &pair) == 0);
  CHECK(korvi_link_compare(linker, 3, 0, &pair) == -1);

  /* 5 levels, 2 fields: 25 patterns; the fitting pairs are the three that
   * share a fingerprint. */
  CHECK(korvi_link_pattern_count(linker) == 25);
  counts = (uint64_t *)calloc(25, sizeof *counts);
  if (counts == NULL) return;
  CHECK(korvi_link_count_patterns(linker, 0, 3, counts) == 3);
  CHECK(counts[KORVI_LINK_EXACT + KORVI_LINK_EXACT * 5] == 2);
  CHECK(counts[(name == 0 ? KORVI_LINK_EXACT + KORVI_LINK_NONE * 5 : KORVI_LINK_NONE + KORVI_LINK_EXACT * 5)] == 1);
  CHECK(korvi_link_fit(linker, counts, 0, &error) == 0);
  free(counts);
  if (error != NULL) {
    printf("fit: %s\n", error);
    korvi_free(error);
  }
  {
    char *model = korvi_link_model(linker);
    char *summary = korvi_link_summary(linker);
    CHECK(model != NULL && model[0] == '{');
    CHECK(summary != NULL && summary[0] == '{');
    korvi_free(model);
    korvi_free(summary);
  }

  /* Every candidate pair (threshold 0), then one pair per record: the twins
   * and L3 with R3, ordered by the left record. */
  pairs = korvi_link_score(linker, 0, 3, 0.0, &count);
  CHECK(pairs != NULL && count == 3);
  if (pairs != NULL && count == 3) {
    CHECK(korvi_link_assign(pairs, count, 1) == 3);
    CHECK(pairs[0].left == 0 && pairs[0].right == 1);
    CHECK(pairs[1].left == 1 && pairs[1].right == 0);
    CHECK(pairs[2].left == 2 && pairs[2].right == 2);
    /* Agreeing on both fields weighs more than on the name alone. */
    CHECK(pairs[1].match_weight > pairs[2].match_weight);
  }
  korvi_free(pairs);
  korvi_link_delete(linker);
}

/* Two rows of social-security numbers: the batch holds each row's
 * fingerprints as assets_from_ssn's JSON lists them. */
static void check_assets_batch(void) {
  static const char texts[] = "123-45-6789" "987-65-4321";
  static const uint64_t offsets[] = {0, 11, 22};
  const KorviTextColumn column = {texts, offsets};
  KorviAssetBatch *batch = korvi_assets_batch("ssn", 2, &column, 1, 0);
  char *first = assets_from_ssn("person", "P1", "123-45-6789");
  uint64_t i;
  CHECK(batch != NULL && first != NULL);
  if (batch != NULL && first != NULL) {
    CHECK(batch->rows == 2 && batch->assets_per_row[0] >= 1 && batch->assets_per_row[1] >= 1);
    CHECK(strlen(batch->hex) == 17 * batch->fingerprints);
    /* The first row's fingerprints come first, each in its JSON text. */
    for (i = 0; i < batch->fingerprints_per_asset[0]; ++i) {
      char digits[17];
      memcpy(digits, batch->hex + 17 * i, 16);
      digits[16] = '\0';
      CHECK(strstr(first, digits) != NULL);
    }
  }
  korvi_free(first);
  korvi_free(batch);
  CHECK(korvi_assets_batch("no such field", 2, &column, 1, 0) == NULL);
}

static void check_versions(void) {
  const char *version = korvi_version();
  const char *unicode = korvi_unicode_version();
  const char *kernel = korvi_sha512_implementation();
  CHECK(version != NULL && version[0] >= '0' && version[0] <= '9' && strchr(version, '.') != NULL);
  CHECK(unicode != NULL && unicode[0] >= '1' && unicode[0] <= '9' && strchr(unicode, '.') != NULL);
  CHECK(kernel != NULL && kernel[0] != '\0');
  if (version != NULL && unicode != NULL && kernel != NULL) {
    printf("korvi %s, Unicode %s, SHA-512 kernel %s\n", version, unicode, kernel);
  }
}

int main(void) {
  check_versions();
  check_linker();
  check_assets_batch();
  printf("%s\n", failed == 0 ? "all checks passed" : "checks failed");
  return failed == 0 ? 0 : 1;
}
