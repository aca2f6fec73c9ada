/* korvi string lists: the uthash UT_array of owned strings (element
 * operations ut_str_icd) in which the library hands out lists of texts.
 * Needs uthash's <utarray.h> (Debian: uthash-dev). Release a list with
 * utarray_free(), which frees every string and then the list (common.h (2)). */
#ifndef KORVI_STRINGLIST_H
#define KORVI_STRINGLIST_H

#include <utarray.h>

#include "korvi/pipeline.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef UT_array StringList;

/* A new list holding a copy of each item of set, in order. */
KORVI_API StringList *shingles_to_array(const ShingleSet *set) KORVI_NOEXCEPT;

#ifdef __cplusplus
}
#endif
#endif
