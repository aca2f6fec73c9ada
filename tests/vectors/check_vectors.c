/* Replays the cross-platform test vectors (tests/vectors/vectors.tsv, format
 * described in make_vectors.py) against the library through its public C
 * interface: same input, same bytes, on every platform.
 *
 *   check_vectors [vectors.tsv]
 *
 * Plain C and nothing but the public header, so it builds for Linux x86-64,
 * Linux 32-bit x86 and Windows x64 alike. The Windows DLL exports no JSON
 * API, so there the json_* vectors are counted as skipped. Every string the
 * library returns is released with korvi_free(), records with free_result():
 * the caller's free() may belong to another C runtime. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "korvi/korvi.h"

#define MAX_FIELDS 8

typedef struct {
  char *text; /* NULL for the \N field */
} Field;

static int passed, failed, skipped;

static int hex_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

/* Decodes one field in place; returns 0 on a malformed escape. */
static int unescape(char *field, Field *out) {
  char *in = field, *to = field;
  if (strcmp(field, "\\N") == 0) {
    out->text = NULL;
    return 1;
  }
  while (*in != '\0') {
    if (*in != '\\') {
      *to++ = *in++;
      continue;
    }
    ++in;
    switch (*in) {
      case '\\': *to++ = '\\'; break;
      case 't': *to++ = '\t'; break;
      case 'n': *to++ = '\n'; break;
      case 'r': *to++ = '\r'; break;
      case 'x': {
        int high = hex_value(in[1]), low = high < 0 ? -1 : hex_value(in[2]);
        if (low < 0 || (high == 0 && low == 0)) return 0;
        *to++ = (char)(high * 16 + low);
        in += 2;
        break;
      }
      default: return 0;
    }
    ++in;
  }
  *to = '\0';
  out->text = field;
  return 1;
}

/* Prints a text with control bytes made visible, cut after 400 bytes. */
static void show(const char *label, const char *text) {
  int n = 0;
  printf("    %s: ", label);
  if (text == NULL) {
    printf("(NULL)\n");
    return;
  }
  for (; *text != '\0' && n < 400; ++text, ++n) {
    unsigned char c = (unsigned char)*text;
    if (c < 0x20 || c == 0x7F) printf("\\x%02X", c);
    else putchar(c);
  }
  printf("%s\n", *text != '\0' ? "..." : "");
}

static int same(const char *a, const char *b) {
  return (a == NULL || b == NULL) ? a == b : strcmp(a, b) == 0;
}

/* Records the outcome of one vector; takes ownership of actual. */
static void verdict(int line, const char *call, const char *expected, char *actual) {
  if (same(expected, actual)) {
    ++passed;
  } else {
    ++failed;
    printf("line %d: %s\n", line, call);
    show("expected", expected);
    show("actual  ", actual);
  }
  korvi_free(actual);
}

/* A key from its material written in hex; NULL for a NULL field or when
 * the library refuses the material. Sets *ok to 0 on malformed hex. */
static korvi_key *key_from_hex(const char *hex, int *ok) {
  static unsigned char material[2048];
  size_t n = 0;
  *ok = 1;
  if (hex == NULL) return NULL;
  for (; hex[0] != '\0'; hex += 2) {
    int high = hex_value(hex[0]), low = high < 0 ? -1 : hex_value(hex[1]);
    if (low < 0 || n == sizeof material) {
      *ok = 0;
      return NULL;
    }
    material[n++] = (unsigned char)(high * 16 + low);
  }
  return korvi_key_new(material, n);
}

/* The *_keyed calls: f[1] is the key, the rest as in the unkeyed call. */
static int run_keyed_vector(int line, Field *f, int n) {
  const char *call = f[0].text;
  int ok;
  korvi_key *key = key_from_hex(f[1].text, &ok);
  if (!ok) return 0;
  if (strcmp(call, "korvi_key_new") == 0 && n == 3) {
    char id[17];
    const int made = korvi_key_id(key, id);
    if (made == (key != NULL) && same(f[2].text, made ? id : NULL)) {
      ++passed;
    } else {
      ++failed;
      printf("line %d: %s\n", line, call);
      show("expected", f[2].text);
      show("actual  ", made ? id : NULL);
    }
  } else if (strcmp(call, "fingerprint_keyed") == 0 && n == 7) {
    FingerprintResult *result = fingerprint_keyed(key, f[2].text, (int32_t)strtol(f[3].text, NULL, 0),
                                                  (uint32_t)strtoul(f[4].text, NULL, 0));
    if (result != NULL && result->status != (int32_t)strtol(f[5].text, NULL, 0)) {
      ++failed;
      printf("line %d: fingerprint_keyed status %d, expected %s\n", line, (int)result->status,
             f[5].text);
    } else {
      verdict(line, call, f[6].text, result == NULL ? NULL : result->text);
      if (result != NULL) result->text = NULL;
    }
    free_result(result);
  } else if (strcmp(call, "fingerprint_chunk_keyed") == 0 && n == 5) {
    verdict(line, call, f[4].text,
            fingerprint_chunk_keyed(key, f[2].text, (uint32_t)strtoul(f[3].text, NULL, 0)));
  } else if (strcmp(call, "assets_from_name_keyed") == 0 && n == 8) {
    verdict(line, call, f[7].text,
            assets_from_name_keyed(key, f[2].text, f[3].text, f[4].text, f[5].text, f[6].text));
  } else if (strcmp(call, "assets_from_city_state_zip_keyed") == 0 && n == 8) {
    verdict(line, call, f[7].text, assets_from_city_state_zip_keyed(key, f[2].text, f[3].text,
                                                                    f[4].text, f[5].text, f[6].text));
  } else if (n == 6 && (strcmp(call, "assets_from_address_keyed") == 0 ||
                        strcmp(call, "assets_from_email_address_keyed") == 0 ||
                        strcmp(call, "assets_from_ssn_keyed") == 0 ||
                        strcmp(call, "assets_from_phone_number_keyed") == 0)) {
    char *(*build)(const korvi_key *, const char *, const char *, const char *) =
        call[12] == 'a'   ? assets_from_address_keyed
        : call[12] == 'e' ? assets_from_email_address_keyed
        : call[12] == 's' ? assets_from_ssn_keyed
                          : assets_from_phone_number_keyed;
    verdict(line, call, f[5].text, build(key, f[2].text, f[3].text, f[4].text));
  } else {
    korvi_key_free(key);
    return 0;
  }
  korvi_key_free(key);
  return 1;
}

static int run_vector(int line, Field *f, int n) {
  const char *call = f[0].text;
#define NEED(count) \
  if (n != (count)) return 0
  if (n >= 3 && (strcmp(call, "korvi_key_new") == 0 || strstr(call, "_keyed") != NULL))
    return run_keyed_vector(line, f, n);
  if (strcmp(call, "fingerprint") == 0) {
    FingerprintResult *result;
    char status[16];
    NEED(6);
    result = fingerprint(f[1].text, (int32_t)strtol(f[2].text, NULL, 0),
                         (uint32_t)strtoul(f[3].text, NULL, 0));
    if (result == NULL) {
      verdict(line, call, f[5].text, NULL);
      return 1;
    }
    sprintf(status, "%d", (int)result->status);
    if (strcmp(status, f[4].text) != 0) {
      ++failed;
      printf("line %d: fingerprint status %s, expected %s\n", line, status, f[4].text);
      free_result(result);
      return 1;
    }
    verdict(line, call, f[5].text, result->text);
    result->text = NULL;
    free_result(result);
  } else if (strcmp(call, "clean_string") == 0) {
    NEED(4);
    verdict(line, call, f[3].text, clean_string(f[1].text, (int)strtol(f[2].text, NULL, 0)));
  } else if (strcmp(call, "fingerprint_chunk") == 0) {
    NEED(4);
    verdict(line, call, f[3].text, fingerprint_chunk(f[1].text, (uint32_t)strtoul(f[2].text, NULL, 0)));
  } else if (strcmp(call, "assets_from_name") == 0) {
    NEED(7);
    verdict(line, call, f[6].text,
            assets_from_name(f[1].text, f[2].text, f[3].text, f[4].text, f[5].text));
  } else if (strcmp(call, "assets_from_address") == 0) {
    NEED(5);
    verdict(line, call, f[4].text, assets_from_address(f[1].text, f[2].text, f[3].text));
  } else if (strcmp(call, "assets_from_city_state_zip") == 0) {
    NEED(7);
    verdict(line, call, f[6].text,
            assets_from_city_state_zip(f[1].text, f[2].text, f[3].text, f[4].text, f[5].text));
  } else if (strcmp(call, "assets_from_email_address") == 0) {
    NEED(5);
    verdict(line, call, f[4].text, assets_from_email_address(f[1].text, f[2].text, f[3].text));
  } else if (strcmp(call, "assets_from_ssn") == 0) {
    NEED(5);
    verdict(line, call, f[4].text, assets_from_ssn(f[1].text, f[2].text, f[3].text));
  } else if (strcmp(call, "assets_from_phone_number") == 0) {
    NEED(5);
    verdict(line, call, f[4].text, assets_from_phone_number(f[1].text, f[2].text, f[3].text));
  } else if (strcmp(call, "json_encode") == 0 || strcmp(call, "json_stringify") == 0) {
    const int indented = call[5] == 's';
    NEED(indented ? 4 : 3);
#ifdef _WIN32
    ++skipped;
#else
    {
      JsonNode *tree = json_decode(f[1].text);
      char *text = NULL;
      if (tree != NULL) text = indented ? json_stringify(tree, f[2].text) : json_encode(tree);
      json_delete(tree);
      verdict(line, call, f[n - 1].text, text);
    }
#endif
  } else {
    return 0;
  }
#undef NEED
  return 1;
}

static char *read_file(const char *path) {
  FILE *file = fopen(path, "rb");
  char *data = NULL;
  long size;
  if (file == NULL) return NULL;
  if (fseek(file, 0, SEEK_END) == 0 && (size = ftell(file)) >= 0 && fseek(file, 0, SEEK_SET) == 0) {
    data = malloc((size_t)size + 1);
    if (data != NULL && fread(data, 1, (size_t)size, file) == (size_t)size) {
      data[size] = '\0';
    } else {
      free(data);
      data = NULL;
    }
  }
  fclose(file);
  return data;
}

int main(int argc, char **argv) {
  const char *path = argc > 1 ? argv[1] : "vectors.tsv";
  char *data = read_file(path), *cursor, *next;
  int line = 0;
  if (data == NULL) {
    printf("cannot read %s\n", path);
    return 2;
  }
  {
    const char *requested = getenv("KORVI_SHA512");
    const char *running = korvi_sha512_implementation();
    printf("SHA-512 kernel: %s", running);
    if (requested != NULL && strcmp(requested, running) != 0)
      printf(" (%s requested, not available here)", requested);
    printf("\n");
  }
  for (cursor = data; *cursor != '\0'; cursor = next) {
    Field fields[MAX_FIELDS];
    int n = 0, ok = 1;
    char *end = strchr(cursor, '\n');
    next = end != NULL ? end + 1 : cursor + strlen(cursor);
    if (end != NULL) *end = '\0';
    ++line;
    if (*cursor == '#' || *cursor == '\0') continue;
    for (;;) {
      char *tab = strchr(cursor, '\t');
      if (tab != NULL) *tab = '\0';
      if (n == MAX_FIELDS || !unescape(cursor, &fields[n++])) ok = 0;
      if (tab == NULL || !ok) break;
      cursor = tab + 1;
    }
    if (!ok || fields[0].text == NULL || !run_vector(line, fields, n)) {
      printf("line %d: malformed vector\n", line);
      ++failed;
    }
  }
  free(data);
  printf("%d vectors passed, %d failed, %d skipped%s\n", passed, failed, skipped,
         skipped > 0 ? " (the JSON API is not exported here)" : "");
  return failed == 0 && passed > 0 ? 0 : 1;
}
