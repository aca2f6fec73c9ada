// The bare library work of `korvi assets` on one thread: the CSV file is
// read into memory first, then the six assets_from_* exports are called for
// every record, as the command calls them, without output. Prints records
// per second, the rate the command cannot exceed on one thread.
// usage: cli_overhead FILE.csv   (the columns of programs/sample/make_sample.py)
#include <csv.h>
#include <korvi/korvi.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct Table {
  std::vector<std::vector<std::string>> rows;
  std::vector<std::string> row;
};

bool blank(const std::string& s) { return s.find_first_not_of(" \t\r\n") == std::string::npos; }

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: cli_overhead FILE.csv\n");
    return 2;
  }
  std::ifstream in(argv[1], std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  const std::string bytes = text.str();

  Table table;
  csv_parser parser;
  csv_init(&parser, 0);
  auto on_field = [](void* s, size_t n, void* t) {
    static_cast<Table*>(t)->row.emplace_back(static_cast<const char*>(s), n);
  };
  auto on_row = [](int, void* t) {
    auto* table = static_cast<Table*>(t);
    table->rows.push_back(std::move(table->row));
    table->row.clear();
  };
  csv_parse(&parser, bytes.data(), bytes.size(), on_field, on_row, &table);
  csv_fini(&parser, on_field, on_row, &table);
  csv_free(&parser);
  if (table.rows.size() < 2) return 2;

  // customer_id, first, middle, last, address, city, state, zip, email, ssn, phone
  const char* type = "person";
  size_t output_bytes = 0;
  auto take = [&](char* assets) {
    output_bytes += std::strlen(assets);
    korvi_free(assets);
  };
  auto start = std::chrono::steady_clock::now();
  for (size_t i = 1; i < table.rows.size(); ++i) {
    const auto& r = table.rows[i];
    const char* id = r[0].c_str();
    take(assets_from_name(type, id, r[1].c_str(), blank(r[2]) ? nullptr : r[2].c_str(), r[3].c_str()));
    if (!blank(r[4])) take(assets_from_address(type, id, r[4].c_str()));
    take(assets_from_city_state_zip(type, id, r[5].c_str(), r[6].c_str(), r[7].c_str()));
    if (!blank(r[8])) take(assets_from_email_address(type, id, r[8].c_str()));
    if (!blank(r[9])) take(assets_from_ssn(type, id, r[9].c_str()));
    if (!blank(r[10])) take(assets_from_phone_number(type, id, r[10].c_str()));
  }
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  size_t records = table.rows.size() - 1;
  std::printf("%zu records in %.2f s: %.0f records/s (%.1f MB of asset JSON)\n", records, seconds,
              static_cast<double>(records) / seconds, static_cast<double>(output_bytes) / 1e6);
  return 0;
}
