/* korvi: the whole public C interface (see each header for ownership rules).
 * korvi/stringlist.h is separate because it needs uthash's headers. */
#ifndef KORVI_KORVI_H
#define KORVI_KORVI_H

#include "korvi/common.h"
#include "korvi/text.h"
#include "korvi/json.h"
#include "korvi/fingerprint.h"
#include "korvi/expr.h"
#include "korvi/assets.h"
#include "korvi/batch.h"

#endif
