/* A program that knows korvi only through its installed tree. */
#include <stdio.h>
#include <string.h>

#include <korvi/korvi.h>

int main(void) {
  /* hashlib: sha512(b"ABCDEFGHIJKLMN" + salt).hexdigest()[:16] */
  const char *expected = "9f62db2e1eec5c89";
  FingerprintResult *result =
      fingerprint("abcdefghijklmn", CLEAN_TEXT, FINGERPRINT_RAW | FINGERPRINT_SHORT);
  int ok = result != NULL && result->status == STATUS_OK && strcmp(result->text, expected) == 0;
  printf("%s %s\n", result != NULL ? result->text : "(NULL)", ok ? "ok" : "WRONG");
  free_result(result);
  return ok ? 0 : 1;
}
