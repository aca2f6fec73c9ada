// korvi_link_block_add_line() over arbitrary bytes, as one line of an assets
// file.
//
// A line is added exactly when it is refused with no message; an added line
// is valid JSON by the library's own validator (a second road to the same
// answer), and its record id comes back from a linker it is appended to.
#include "fuzz/fuzz_util.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  KorviLinkBlock* block = korvi_link_block_new();
  FUZZ_CHECK(block != nullptr);
  const char* why = korvi_link_block_add_line(block, text.data(), text.size());
  FUZZ_CHECK(korvi_link_block_size(block) == (why == nullptr ? 1u : 0u));
  if (why == nullptr) {
    FUZZ_CHECK(text.find('\0') == std::string::npos && json_validate(text.c_str()));
    KorviLinker* linker = korvi_link_new();
    FUZZ_CHECK(linker != nullptr);
    FUZZ_CHECK(korvi_link_append(linker, KORVI_LINK_LEFT, block, nullptr) == 0);
    FUZZ_CHECK(korvi_link_record_count(linker, KORVI_LINK_LEFT) == 1);
    FUZZ_CHECK(korvi_link_record_id(linker, KORVI_LINK_LEFT, 0) != nullptr);
    FUZZ_CHECK(korvi_link_prepare(linker, nullptr, 0, 1, nullptr) == 0);
    korvi_link_delete(linker);
  }
  korvi_link_block_delete(block);
  return 0;
}
