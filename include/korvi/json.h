/* korvi JSON document model: the trees every result is built in, their
 * compact and indented text, and a strict parser. Conventions: common.h
 * (1)-(5); in particular a tree is released with json_delete() on its root
 * and the writers' texts with free() (2), and a NULL node is absent (3).
 *
 * A container owns its children. Misuse (attaching to a node of the wrong
 * kind, attaching a node that already has a parent) is ignored rather than
 * ending the process. Nesting is unlimited: nothing here recurses on the
 * tree. */
#ifndef KORVI_JSON_H
#define KORVI_JSON_H

#include "korvi/common.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef enum JsonTag {
  JSON_NULL = 0,
  JSON_BOOL = 1,
  JSON_STRING = 2,
  JSON_NUMBER = 3,
  JSON_ARRAY = 4,
  JSON_OBJECT = 5
} JsonTag;

typedef struct JsonNode JsonNode;
struct JsonNode {
  JsonNode *parent; /* the array or object holding this node, or NULL */
  JsonNode *prev, *next;
  char *key; /* member name (owned) when the parent is an object */
  JsonTag tag;
  union {
    bool bool_;      /* JSON_BOOL */
    char *string_;   /* JSON_STRING: owned UTF-8 text */
    double number_;  /* JSON_NUMBER */
    struct {         /* JSON_ARRAY, JSON_OBJECT: first and last child */
      JsonNode *head, *tail;
    };
  };
};

/* Constructors: a new parentless node owned by the caller. */
KORVI_API JsonNode *json_mknull(void) KORVI_NOEXCEPT;
KORVI_API JsonNode *json_mkbool(bool b) KORVI_NOEXCEPT;
KORVI_API JsonNode *json_mkstring(const char *s) KORVI_NOEXCEPT; /* copies s; NULL s gives "" */
KORVI_API JsonNode *json_mknumber(double x) KORVI_NOEXCEPT;
KORVI_API JsonNode *json_mkarray(void) KORVI_NOEXCEPT;
KORVI_API JsonNode *json_mkobject(void) KORVI_NOEXCEPT;

/* Attach a parentless node as last / first element or member; the container
 * takes ownership. The member functions copy key; a NULL key is taken as "".
 * Attaching the root of the container's own tree is ignored (it would form a
 * cycle). When the key cannot be copied the node stays unattached (parent
 * NULL) and remains the caller's. */
KORVI_API void json_append_element(JsonNode *array, JsonNode *element) KORVI_NOEXCEPT;
KORVI_API void json_prepend_element(JsonNode *array, JsonNode *element) KORVI_NOEXCEPT;
KORVI_API void json_append_member(JsonNode *object, const char *key, JsonNode *value) KORVI_NOEXCEPT;
KORVI_API void json_prepend_member(JsonNode *object, const char *key, JsonNode *value) KORVI_NOEXCEPT;
/* Detaches a node from its parent (freeing its key); ownership returns to the caller. */
KORVI_API void json_remove_from_parent(JsonNode *node) KORVI_NOEXCEPT;
/* Detaches and frees a node with everything under it. */
KORVI_API void json_delete(JsonNode *node) KORVI_NOEXCEPT;

KORVI_API JsonNode *json_find_element(JsonNode *array, int index) KORVI_NOEXCEPT;
KORVI_API JsonNode *json_find_member(JsonNode *object, const char *key) KORVI_NOEXCEPT;
KORVI_API JsonNode *json_first_child(const JsonNode *node) KORVI_NOEXCEPT;

/* Compact text of a tree. Strings and keys that are not well-formed UTF-8 are
 * written with each maximal ill-formed subpart (as the Unicode Standard
 * recommends) replaced by one U+FFFD, so the output is always valid JSON.
 * Numbers are written as "%.16g" in the C locale, whatever the process
 * locale (as "%.17g" where the 16-digit text would read back as a number
 * that writes differently, so decoding and encoding again changes nothing);
 * NaN and infinities as null. */
KORVI_API char *json_encode(const JsonNode *node) KORVI_NOEXCEPT;
/* JSON string literal (quotes included) of a text. */
KORVI_API char *json_encode_string(const char *s) KORVI_NOEXCEPT;
/* Compact text when space is NULL, else indented with space per level. */
KORVI_API char *json_stringify(const JsonNode *node, const char *space) KORVI_NOEXCEPT;

/* Tree of a text holding exactly one JSON value, or NULL. Strict: no
 * comments, no trailing commas, no \u0000, well-formed UTF-8 only. */
KORVI_API JsonNode *json_decode(const char *text) KORVI_NOEXCEPT;
/* Whether json_decode would succeed; builds nothing. */
KORVI_API bool json_validate(const char *text) KORVI_NOEXCEPT;
/* Whether a tree is structurally consistent; on failure writes a message
 * into errmsg (a caller buffer of 256 bytes) when errmsg is not NULL. A NULL
 * node is an empty tree: true. */
KORVI_API bool json_check(const JsonNode *node, char errmsg[256]) KORVI_NOEXCEPT;

#ifdef __cplusplus
}
#endif
#endif
