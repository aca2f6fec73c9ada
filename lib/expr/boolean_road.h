// The boolean road of fingerprint(): an expression whose operands become
// their fingerprints.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

struct korvi_key;

namespace korvi::expr {

// Parses text; unless FINGERPRINT_PARSE_ONLY is set, replaces every operand
// by its fingerprints (clean_mode, FINGERPRINT_TILED and FINGERPRINT_SHORT
// apply to each operand). Replaces envelope with the complete answer —
// {"success":true,"data":<tree>} or the error envelope — and returns the
// status (STATUS_OK, STATUS_BAD_UTF8 or STATUS_PARSE_ERROR). With a key the
// operands get keyed fingerprints.
int32_t boolean_road(std::string_view text, int clean_mode, uint32_t flags, std::string& envelope,
                     const korvi_key* key = nullptr);

}  // namespace korvi::expr
