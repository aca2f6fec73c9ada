// assets_from_phone_number(): record type, record id, phone number.
#include "fuzz/assets_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace korvi::fuzz;
  Input input(data, size);
  const Arguments<3> args(input);
  char* answer = assets_from_phone_number(args[0], args[1], args[2]);

  const bool empty = args.null[0] || args.null[1] || !args.valid(2);
  std::optional<std::vector<std::string>> first_prints;
  if (!empty) first_prints = std::vector<std::string>{chunk(clean(args.texts[2], CLEAN_DIGITS))};
  check_assets(answer, args[0], args[1], "phone_number", empty, first_prints, true, 1);
  return 0;
}
