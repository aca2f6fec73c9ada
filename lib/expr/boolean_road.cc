#include "expr/boolean_road.h"

#include <cstdlib>
#include <memory>
#include <new>

#include "core/envelope.h"
#include "core/fingerprints.h"
#include "expr/expression.h"
#include "expr/json_tree.h"
#include "korvi/common.h"
#include "korvi/json.h"

namespace korvi::expr {
namespace {

// Printable ASCII other than the quote and the backslash stands for itself
// in a JSON string.
bool needs_no_escape(std::string_view text) noexcept {
  for (const char c : text) {
    if (c < 0x20 || c > 0x7E || c == '"' || c == '\\') return false;
  }
  return true;
}

// The JSON string literal of an operand as given. Anything beyond plain
// ASCII goes through the JSON writer, which also makes ill-formed UTF-8
// writable.
void append_string_literal(std::string_view text, std::string& out) {
  if (needs_no_escape(text)) {
    out += '"';
    out += text;
    out += '"';
    return;
  }
  const std::string terminated(text);
  const std::unique_ptr<char, decltype(&std::free)> literal(json_encode_string(terminated.c_str()),
                                                            &std::free);
  if (literal == nullptr) throw std::bad_alloc();
  out += literal.get();
}

}  // namespace

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
          append_string_literal(operand, out);
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
