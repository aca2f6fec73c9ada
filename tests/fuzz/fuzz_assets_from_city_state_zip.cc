// assets_from_city_state_zip(): record type, record id, city, state, ZIP code.
#include "fuzz/assets_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace korvi::fuzz;
  Input input(data, size);
  const Arguments<5> args(input);
  char* answer = assets_from_city_state_zip(args[0], args[1], args[2], args[3], args[4]);

  const bool empty = args.null[0] || args.null[1] || !args.valid(2) || !args.valid(3) || !args.valid(4);
  std::optional<std::vector<std::string>> first_prints;
  if (!empty) {
    first_prints = variant_fingerprints(" " + clean(args.texts[2], CLEAN_TEXT) + " " +
                                        clean(args.texts[3], CLEAN_TEXT) + " " +
                                        clean(args.texts[4], CLEAN_TEXT) + " ");
  }
  check_assets(answer, args[0], args[1], "city_state_zip", empty, first_prints, false, 2);
  return 0;
}
