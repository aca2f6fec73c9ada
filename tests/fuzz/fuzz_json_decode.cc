// json_decode() and json_validate() over arbitrary text (it ends at the
// input's first zero byte, as a C caller's would).
//
// The two must agree; an accepted text must give a consistent tree whose
// compact text decodes again to the same text, and whose indented text
// decodes to the same tree.
#include "fuzz/fuzz_util.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const bool valid = json_validate(text.c_str());
  const korvi::fuzz::Tree tree(json_decode(text.c_str()));
  FUZZ_CHECK(valid == (tree != nullptr));
  if (!tree) return 0;
  FUZZ_CHECK(json_check(tree.get(), nullptr));

  const auto first = korvi::fuzz::take_text(json_encode(tree.get()));
  FUZZ_CHECK(first && json_validate(first->c_str()));
  const korvi::fuzz::Tree again(json_decode(first->c_str()));
  FUZZ_CHECK(again != nullptr);
  const auto second = korvi::fuzz::take_text(json_encode(again.get()));
  FUZZ_CHECK(second == first);

  const auto indented = korvi::fuzz::take_text(json_stringify(tree.get(), "\t"));
  FUZZ_CHECK(indented.has_value());
  const korvi::fuzz::Tree from_indented(json_decode(indented->c_str()));
  FUZZ_CHECK(from_indented != nullptr);
  FUZZ_CHECK(korvi::fuzz::take_text(json_encode(from_indented.get())) == first);
  return 0;
}
