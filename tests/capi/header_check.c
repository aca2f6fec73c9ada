/* Compiled as strict C11: every public header must be plain C, and a C
 * program must link the library and get sensible answers through it. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "korvi/korvi.h"
#include "korvi/stringlist.h"
#include "korvi/asset_records.h"

static int failures = 0;

static void expect(int ok, const char *what) {
  if (!ok) {
    fprintf(stderr, "FAILED: %s\n", what);
    ++failures;
  }
}

int main(void) {
  FingerprintResult *result = fingerprint("john smith jr", CLEAN_TEXT, FINGERPRINT_SHORT);
  expect(result != NULL && result->status == STATUS_OK, "fingerprint succeeds");
  expect(result != NULL && strncmp(result->text, "{\"success\":true", 15) == 0, "success envelope");
  free_result(result);

  char *cleaned = clean_string("  o'Brien ", CLEAN_TEXT);
  expect(cleaned != NULL && strcmp(cleaned, " O BRIEN ") == 0, "clean_string");
  korvi_free(cleaned);

  char *chunk = fingerprint_chunk("", 0);
  expect(chunk != NULL && strlen(chunk) == KORVI_FINGERPRINT_DIGITS, "fingerprint_chunk");
  free(chunk);

  JsonNode *tree = json_decode("{\"a\":[1,true,null]}");
  expect(tree != NULL && tree->tag == JSON_OBJECT && tree->head != NULL, "json_decode");
  json_delete(tree);

  char *assets = assets_from_ssn("person", "1", "123-45-6789");
  expect(assets != NULL && assets[0] == '[', "assets_from_ssn");
  free(assets);

  /* The asset tree encodes to the text export's answer; a record built by
   * hand adopts its lists. */
  JsonNode *ssn_tree = json_assets_from_ssn("person", "1", "123-45-6789");
  char *ssn_text = json_encode(ssn_tree);
  assets = assets_from_ssn("person", "1", "123-45-6789");
  expect(ssn_text != NULL && assets != NULL && strcmp(ssn_text, assets) == 0, "json_assets_from_ssn");
  free(ssn_text);
  free(assets);
  json_delete(ssn_tree);

  Asset *asset = NULL;
  UT_array *metadata = NULL;
  utarray_new(metadata, &ut_metadata_icd);
  asset_new(&asset, raw_fingerprints_from_string("", FINGERPRINT_SHORT), metadata);
  asset_add_metadata(asset, "field", "ssn");
  JsonNode *asset_tree = asset_to_json(asset);
  char *asset_text = json_encode(asset_tree);
  expect(asset_text != NULL &&
             strcmp(asset_text, "{\"fingerprints\":[\"980acfd6a63af303\"],\"metadata\":{\"field\":\"ssn\"}}") == 0,
         "asset_to_json");
  free(asset_text);
  json_delete(asset_tree);
  asset_free(&asset);
  expect(asset == NULL, "asset_free");
  StringList *none = fingerprints_from_string("short", CLEAN_TEXT, 0);
  expect(none == NULL, "fingerprints_from_string of a short text");

  JsonNode *expr = boolean_parse("a OR b");
  expect(expr != NULL && expr->tag == JSON_OBJECT, "boolean_parse");
  json_delete(expr);

  expect(yydebug == 0, "yydebug starts at 0");
  if (failures == 0) printf("C header check: all passed\n");
  return failures == 0 ? 0 : 1;
}
