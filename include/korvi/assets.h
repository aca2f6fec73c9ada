/* korvi assets: spelling variants of personal fields (nicknames, name orders
 * and initials, street-address abbreviations, state names and codes), each
 * fingerprinted and wrapped with the caller's metadata:
 *
 *   [{"fingerprints":["…",…],"metadata":{"record_type":…,"record_id":…,
 *     "field":…,"variant_id":"1"}},…]
 *
 * Conventions: common.h (1)-(5). Every function returns compact JSON text,
 * released with free() (2); input that yields no variant, is not valid
 * UTF-8, or is NULL (except the middle name, which may be NULL) gives "[]". */
#ifndef KORVI_ASSETS_H
#define KORVI_ASSETS_H

#include "korvi/common.h"

#ifdef __cplusplus
extern "C" {
#endif

KORVI_API char *assets_from_name(const char *record_type, const char *record_id,
                                 const char *first_name, const char *middle_name,
                                 const char *last_name) KORVI_NOEXCEPT;
KORVI_API char *assets_from_address(const char *record_type, const char *record_id,
                                    const char *address) KORVI_NOEXCEPT;
KORVI_API char *assets_from_city_state_zip(const char *record_type, const char *record_id,
                                           const char *city, const char *state,
                                           const char *zip) KORVI_NOEXCEPT;
KORVI_API char *assets_from_email_address(const char *record_type, const char *record_id,
                                          const char *email_address) KORVI_NOEXCEPT;
KORVI_API char *assets_from_ssn(const char *record_type, const char *record_id,
                                const char *ssn) KORVI_NOEXCEPT;
KORVI_API char *assets_from_phone_number(const char *record_type, const char *record_id,
                                         const char *phone_number) KORVI_NOEXCEPT;

#ifdef __cplusplus
}
#endif
#endif
