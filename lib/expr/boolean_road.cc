#include "expr/boolean_road.h"

#include "core/envelope.h"
#include "core/fingerprints.h"
#include "expr/expression.h"
#include "expr/json_tree.h"
#include "json/literal.h"
#include "korvi/common.h"

namespace korvi::expr {

int32_t boolean_road(std::string_view text, int clean_mode, uint32_t flags, std::string& envelope,
                     const korvi_key* key) {
  envelope.clear();
  const std::optional<Expression> expression = parse_expression(text);
  if (!expression) {
    core::append_error_envelope(STATUS_PARSE_ERROR, envelope);
    return STATUS_PARSE_ERROR;
  }

  envelope += core::kSuccessPrefix;
  bool written;
  if ((flags & FINGERPRINT_PARSE_ONLY) != 0) {
    written =
        append_json_text(*expression, envelope, [](std::string_view operand, std::string& out) {
          // As given; ill-formed UTF-8 is written with U+FFFD.
          json::append_string_literal(operand, out);
          return true;
        });
  } else {
    // Each operand is hashed once, in the order of the text; the first one
    // without fingerprints decides the answer, so the rest are not hashed.
    core::Fingerprints fingerprints(false, key);
    written =
        append_json_text(*expression, envelope, [&](std::string_view operand, std::string& out) {
          if (core::fingerprint_text(operand, clean_mode, flags, fingerprints) != STATUS_OK) {
            return false;
          }
          fingerprints.append_json_array(out);
          return true;
        });
  }
  if (!written) {
    // Too short, ill-formed UTF-8 or empty: every such operand reads as a
    // failed conversion, never as "too short".
    envelope.clear();
    core::append_error_envelope(STATUS_BAD_UTF8, envelope);
    return STATUS_BAD_UTF8;
  }
  envelope += '}';
  return STATUS_OK;
}

}  // namespace korvi::expr
