// Exports that belong to the library as a whole.
#include <cstdlib>

#include <utf8proc.h>

#include "core/sha512_batch.h"
#include "korvi/common.h"

extern "C" {

KORVI_API void korvi_free(void* pointer) noexcept { std::free(pointer); }

KORVI_API const char* korvi_version(void) noexcept { return "0.1.0"; }

KORVI_API const char* korvi_unicode_version(void) noexcept { return utf8proc_unicode_version(); }

KORVI_API const char* korvi_sha512_implementation(void) noexcept {
  return korvi::core::sha512_batch_kernel();
}

}  // extern "C"
