// Exports of the boolean expression language.
#include <optional>

#include "base/boundary.h"
#include "expr/expression.h"
#include "expr/json_tree.h"
#include "korvi/expr.h"

extern "C" {

// Kept for callers that set it; the parser writes no trace.
KORVI_API int yydebug = 0;

KORVI_API JsonNode* boolean_parse(const char* text) noexcept {
  if (text == nullptr) return nullptr;
  return korvi::base::guarded(
      [&]() -> JsonNode* {
        const std::optional<korvi::expr::Expression> expression =
            korvi::expr::parse_expression(text);
        return expression ? korvi::expr::to_json_tree(*expression) : nullptr;
      },
      static_cast<JsonNode*>(nullptr));
}

KORVI_API JsonNode* create_operator(const char* name, JsonNode* left, JsonNode* right) noexcept {
  return korvi::expr::make_operator(name, left, right);
}

KORVI_API void shingle_boolean_parse_result(JsonNode* node, int clean_mode, uint32_t flags,
                                            FingerprintResult* result) noexcept {
  int32_t status = result != nullptr ? result->status : STATUS_OK;
  try {
    korvi::expr::fingerprint_operands(node, clean_mode, flags, status);
  } catch (...) {
    // Out of memory: some operands were left unconverted.
    status = STATUS_BAD_UTF8;
  }
  if (result != nullptr) result->status = status;
}

KORVI_API void shingle_replace_string(JsonNode* node, int clean_mode, uint32_t flags,
                                      FingerprintResult* result) noexcept {
  int32_t status = result != nullptr ? result->status : STATUS_OK;
  try {
    korvi::expr::fingerprint_operand(node, clean_mode, flags, status);
  } catch (...) {
    status = STATUS_BAD_UTF8;
  }
  if (result != nullptr) result->status = status;
}

}  // extern "C"
