/* Compiled as strict C11: every public header must be plain C, and a C
 * program must link the library and get sensible answers through it. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "korvi/korvi.h"
#include "korvi/stringlist.h"

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

  JsonNode *expr = boolean_parse("a OR b");
  expect(expr != NULL && expr->tag == JSON_OBJECT, "boolean_parse");
  json_delete(expr);

  expect(yydebug == 0, "yydebug starts at 0");
  if (failures == 0) printf("C header check: all passed\n");
  return failures == 0 ? 0 : 1;
}
