/* korvi text normalization: the cleaning modes that bring every text into
 * the canonical form fingerprints are taken from (the code-point steps one
 * by one are in korvi/pipeline.h). Conventions: common.h (1)-(5). */
#ifndef KORVI_TEXT_H
#define KORVI_TEXT_H

#include "korvi/common.h"

#ifdef __cplusplus
extern "C" {
#endif

/* The text upper-cased, filtered by the cleaning mode (CLEAN_*) and with every
 * run of space separators made one U+0020; nothing is trimmed, so leading or
 * trailing spaces stay as one space each. NULL when text is not valid UTF-8.
 * Release with free() (2). Same as utf8_clean(). */
KORVI_API char *clean_string(const char *text, int mode) KORVI_NOEXCEPT;

#ifdef __cplusplus
}
#endif
#endif
