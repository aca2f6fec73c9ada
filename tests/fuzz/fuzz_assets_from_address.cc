// assets_from_address(): record type, record id and the address line.
#include "fuzz/assets_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace korvi::fuzz;
  Input input(data, size);
  const Arguments<3> args(input);
  char* answer = assets_from_address(args[0], args[1], args[2]);

  bool empty = args.null[0] || args.null[1] || !args.valid(2);
  std::optional<std::vector<std::string>> first_prints;
  if (!empty) {
    // The first variant is the cleaned line's own words joined by single spaces.
    const std::string cleaned = clean(args.texts[2], CLEAN_TEXT);
    std::string line;
    for (size_t at = 0; at < cleaned.size();) {
      if (cleaned[at] == ' ') {
        ++at;
        continue;
      }
      const size_t end = std::min(cleaned.find(' ', at), cleaned.size());
      if (!line.empty()) line += ' ';
      line.append(cleaned, at, end - at);
      at = end;
    }
    empty = line.empty();
    if (!empty) first_prints = variant_fingerprints(line);
  }
  check_assets(answer, args[0], args[1], "address", empty, first_prints, false, 10000);
  return 0;
}
