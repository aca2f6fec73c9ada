/* Baseline: the plain road written the most literal way — fresh zero-filled
 * buffers per hash, sprintf hex, code-point arrays for cleaning, a buffer
 * that grows by exactly what is appended. Shows what the straightforward
 * build costs; korvi's figures are reported as ratios to it.
 * Usage: baseline_naive NAMES_FILE [LIMIT]  -> one JSON line. */
#include <sodium.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <utf8proc.h>

static const char SALT[] = "Qm7pZ2vX+9LcT4nB8rKs1A";

static int32_t *decode(const char *text) {
  size_t len = strlen(text);
  int32_t *cps = calloc(len + 1, sizeof(int32_t));
  size_t n = 0;
  const uint8_t *p = (const uint8_t *)text;
  while (*p) {
    int32_t cp;
    utf8proc_ssize_t k = utf8proc_iterate(p, -1, &cp);
    if (k <= 0) { free(cps); return NULL; }
    cps[n++] = cp;
    p += k;
  }
  return cps;
}

static int kept_text(int32_t cp) {
  int c = utf8proc_category(cp);
  return c == 1 || c == 2 || c == 4 || c == 5 || c == 9 || c == 10 || c == 11 || c == 23;
}

static char *clean(const char *text) {
  int32_t *cps = decode(text);
  if (!cps) return NULL;
  size_t n = 0;
  while (cps[n]) n++;
  int32_t *copy = calloc(n + 1, sizeof(int32_t));
  memcpy(copy, cps, (n + 1) * sizeof(int32_t));
  free(cps);
  size_t w = 0;
  for (size_t r = 0; r < n; r++) {
    int32_t u = utf8proc_toupper(copy[r]);
    copy[w++] = kept_text(u) ? u : ' ';
  }
  copy[w] = 0;
  int32_t *collapsed = calloc(w + 1, sizeof(int32_t));
  size_t m = 0;
  int run = 0;
  for (size_t i = 0; i < w; i++) {
    int zs = utf8proc_category(copy[i]) == UTF8PROC_CATEGORY_ZS;
    if (zs && !run) { collapsed[m++] = ' '; run = 1; }
    else if (!zs) { collapsed[m++] = copy[i]; run = 0; }
  }
  free(copy);
  size_t cap = 100, used = 0;
  char *buf = calloc(cap, 1);
  for (size_t i = 0; i < m; i++) {
    uint8_t tmp[4];
    utf8proc_ssize_t k = utf8proc_encode_char(collapsed[i], tmp);
    if (cap - used < (size_t)k + 1) { cap += (size_t)k + 1; buf = realloc(buf, cap); }
    memcpy(buf + used, tmp, (size_t)k);
    used += (size_t)k;
    buf[used] = 0;
  }
  free(collapsed);
  char *out = strdup(buf);
  free(buf);
  return out;
}

static void hash_window(const char *text, size_t len, char *out) {
  unsigned char *msg = calloc(len + 23, 1);
  memcpy(msg, text, len);
  memcpy(msg + len, SALT, 22);
  unsigned char *digest = malloc(64);
  crypto_hash_sha512(digest, msg, len + 22);
  for (int i = 0; i < 32; i++) sprintf(out + 2 * i, "%02x", digest[i]);
  free(msg);
  free(digest);
}

static void sift(char **items, size_t root, size_t end) {
  while (2 * root + 1 < end) {
    size_t child = 2 * root + 1;
    if (child + 1 < end && strcmp(items[child], items[child + 1]) < 0) child++;
    if (strcmp(items[root], items[child]) >= 0) return;
    char *t = items[root]; items[root] = items[child]; items[child] = t;
    root = child;
  }
}

static size_t seq_len(unsigned char c) { return c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4; }

static char *fingerprint(const char *text) {
  char *cleaned = clean(text);
  if (!cleaned) return strdup("{\"success\":false,\"error\":\"Failed utf8 conversion\"}");
  size_t n = 0;
  for (const char *p = cleaned; *p; p += seq_len((unsigned char)*p)) n++;
  if (n <= 11) { free(cleaned); return strdup("{\"success\":false,\"error\":\"Input length too short\"}"); }
  char *padded;
  if (n < 14) {
    padded = malloc(strlen(cleaned) + 3);
    sprintf(padded, " %s ", cleaned);
    n += 2;
  } else {
    padded = strdup(cleaned);
  }
  free(cleaned);
  size_t count = n - 13;
  char **items = calloc(count, sizeof(char *));
  const char *start = padded, *end = padded;
  for (int k = 0; k < 14; k++) end += seq_len((unsigned char)*end);
  for (size_t i = 0; i < count; i++) {
    items[i] = calloc(65, 1);
    hash_window(start, (size_t)(end - start), items[i]);
    if (*end) end += seq_len((unsigned char)*end);
    start += seq_len((unsigned char)*start);
  }
  free(padded);
  for (size_t r = count / 2 + 1; r-- > 0;) sift(items, r, count);
  for (size_t e = count - 1; e >= 1; e--) {
    char *t = items[0]; items[0] = items[e]; items[e] = t;
    sift(items, 0, e);
  }
  size_t kept = 0;
  for (size_t i = 0; i < count; i++) {
    if (kept > 0 && strcmp(items[kept - 1], items[i]) == 0) { free(items[i]); continue; }
    items[kept++] = items[i];
  }
  char *json = malloc(64 + kept * 67);
  strcpy(json, "{\"success\":true,\"data\":{\"fingerprints\":[");
  for (size_t i = 0; i < kept; i++) {
    if (i) strcat(json, ",");
    strcat(json, "\"");
    strcat(json, items[i]);
    strcat(json, "\"");
    free(items[i]);
  }
  strcat(json, "]}}");
  free(items);
  return json;
}

int main(int argc, char **argv) {
  if (argc < 2) return 2;
  FILE *f = fopen(argv[1], "r");
  if (!f) return 2;
  size_t limit = argc > 2 ? (size_t)atol(argv[2]) : (size_t)-1;
  char **names = NULL;
  size_t n = 0, cap = 0;
  char line[4096];
  while (n < limit && fgets(line, sizeof line, f)) {
    line[strcspn(line, "\n")] = 0;
    if (n == cap) { cap = cap ? 2 * cap : 1024; names = realloc(names, cap * sizeof *names); }
    names[n++] = strdup(line);
  }
  fclose(f);
  struct timespec a, b;
  clock_gettime(CLOCK_MONOTONIC, &a);
  size_t total = 0;
  for (size_t i = 0; i < n; i++) {
    char *out = fingerprint(names[i]);
    total += strlen(out);
    free(out);
  }
  clock_gettime(CLOCK_MONOTONIC, &b);
  double secs = (double)(b.tv_sec - a.tv_sec) + (double)(b.tv_nsec - a.tv_nsec) / 1e9;
  printf("{\"name\": \"naive_c/names\", \"items_per_second\": %.1f, \"checksum\": %zu}\n", (double)n / secs, total);
  for (size_t i = 0; i < n; i++) free(names[i]);
  free(names);
  return 0;
}
