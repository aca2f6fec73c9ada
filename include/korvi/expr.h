/* korvi boolean expressions: operands are bare words or "double-quoted"
 * texts; two operands side by side or joined by AND mean both, OR either,
 * a lone hyphen the first but not the second; parentheses group. All
 * operators bind equally and group from the left. Conventions: common.h
 * (1)-(5).
 *
 * Trees are JSON: an operand is a string node; an operator is the object
 * {"operator":"AND"|"OR"|"AND_NOT","operands":[left,right]}. */
#ifndef KORVI_EXPR_H
#define KORVI_EXPR_H

#include "korvi/common.h"
#include "korvi/json.h"

#ifdef __cplusplus
extern "C" {
#endif

/* The tree of an expression, or NULL when it does not parse (or nests more
 * than 9996 parentheses deep). Release with json_delete(). Never prints. */
KORVI_API JsonNode *boolean_parse(const char *text) KORVI_NOEXCEPT;
/* A new operator object over left and right, which it takes over; release
 * with json_delete(). */
KORVI_API JsonNode *create_operator(const char *name, JsonNode *left, JsonNode *right) KORVI_NOEXCEPT;
/* Replaces every string operand under node, in place, by the array of its
 * fingerprints; an operand without fingerprints sets result->status to
 * STATUS_BAD_UTF8. */
KORVI_API void shingle_boolean_parse_result(JsonNode *node, int clean_mode, uint32_t flags,
                                            FingerprintResult *result) KORVI_NOEXCEPT;
KORVI_API void shingle_replace_string(JsonNode *node, int clean_mode, uint32_t flags,
                                      FingerprintResult *result) KORVI_NOEXCEPT;

/* Parser trace switch, kept for compatibility; the parser writes no trace. */
KORVI_API extern int yydebug;

#ifdef __cplusplus
}
#endif
#endif
