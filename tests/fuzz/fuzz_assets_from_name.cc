// assets_from_name(): record type, record id, first, middle and last name.
#include "fuzz/assets_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace korvi::fuzz;
  Input input(data, size);
  const Arguments<5> args(input);
  char* answer = assets_from_name(args[0], args[1], args[2], args[3], args[4]);

  bool empty = args.null[0] || args.null[1] || !args.valid(2) || !args.valid(4);
  std::optional<std::vector<std::string>> first_prints;
  if (!empty) {
    const std::string first = clean(args.texts[2], CLEAN_TEXT);
    const std::string last = clean(args.texts[4], CLEAN_TEXT);
    // A middle name that is not valid UTF-8 counts as absent; an empty one refuses.
    const bool empty_middle = args.valid(3) && clean(args.texts[3], CLEAN_TEXT).empty();
    empty = first.empty() || last.empty() || empty_middle;
    if (!empty) first_prints = variant_fingerprints(" " + first + " " + last + " ");
  }
  check_assets(answer, args[0], args[1], "name", empty, first_prints, false, SIZE_MAX);
  return 0;
}
