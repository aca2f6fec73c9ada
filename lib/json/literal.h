// What other modules use of the JSON module's internals when they write JSON
// text directly instead of building a tree (assets, expression trees).
#pragma once

#include <string>
#include <string_view>

namespace korvi::json {

// Appends the JSON string literal of text, quotes included, exactly as
// json_encode_string writes it: text ends at its first zero byte, and each
// maximal ill-formed UTF-8 subpart becomes U+FFFD. Throws std::bad_alloc.
void append_string_literal(std::string_view text, std::string& out);

}  // namespace korvi::json
