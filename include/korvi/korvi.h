/* korvi: the whole public C interface; the conventions every header follows
 * are listed once in korvi/common.h. korvi/stringlist.h and
 * korvi/asset_records.h are separate because they need uthash's headers. */
#ifndef KORVI_KORVI_H
#define KORVI_KORVI_H

#include "korvi/common.h"
#include "korvi/text.h"
#include "korvi/json.h"
#include "korvi/fingerprint.h"
#include "korvi/expr.h"
#include "korvi/assets.h"
#include "korvi/pipeline.h"
#include "korvi/link.h"
#include "korvi/key.h"
#include "korvi/batch.h"

#endif
