// korvi benchmarks over the public C interface, on the data of make_data.py
// (folder given by KORVI_BENCH_DATA). Run through bench/run.sh.
#include <benchmark/benchmark.h>

#include <sodium.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "korvi/korvi.h"

namespace {

std::string data_path(const char* file) {
  const char* dir = std::getenv("KORVI_BENCH_DATA");
  return std::string(dir != nullptr ? dir : "bench-data") + "/" + file;
}

std::vector<std::string> read_lines(const char* file) {
  std::ifstream in(data_path(file));
  if (!in) throw std::runtime_error("missing benchmark data: " + data_path(file));
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::string read_file(const char* file) {
  std::ifstream in(data_path(file), std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

const std::vector<std::string>& lines_of(const char* file) {
  // Loaded once per file before timing starts; benchmarks run on one thread.
  static std::vector<std::pair<std::string, std::vector<std::string>>> cache;
  for (auto& [name, lines] : cache)
    if (name == file) return lines;
  cache.emplace_back(file, read_lines(file));
  return cache.back().second;
}

// The key of the keyed rows, made once (from 32 fixed bytes) and kept.
const korvi_key* bench_key() {
  static korvi_key* const key = [] {
    unsigned char material[32];
    for (int i = 0; i < 32; ++i) material[i] = static_cast<unsigned char>(i);
    return korvi_key_new(material, sizeof material);
  }();
  return key;
}

void run_fingerprints(benchmark::State& state, const char* file, int mode, uint32_t flags,
                      const korvi_key* key = nullptr) {
  const auto& lines = lines_of(file);
  size_t i = 0, bytes = 0;
  for (auto _ : state) {
    const std::string& text = lines[i++ % lines.size()];
    FingerprintResult* r = key != nullptr ? fingerprint_keyed(key, text.c_str(), mode, flags)
                                          : fingerprint(text.c_str(), mode, flags);
    benchmark::DoNotOptimize(r->text);
    free_result(r);
    bytes += text.size();
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
  state.SetBytesProcessed(static_cast<int64_t>(bytes));
}

void BM_FingerprintNames(benchmark::State& s) { run_fingerprints(s, "names.txt", CLEAN_TEXT, 0); }
void BM_FingerprintNamesTiled(benchmark::State& s) {
  run_fingerprints(s, "names.txt", CLEAN_TEXT, FINGERPRINT_TILED);
}
void BM_FingerprintNamesShort(benchmark::State& s) {
  run_fingerprints(s, "names.txt", CLEAN_TEXT, FINGERPRINT_SHORT);
}
// The names a thousand to a call through korvi_fingerprint_many, whose
// windows of several names share the hashing lanes; items are names.
void BM_FingerprintManyNames(benchmark::State& state) {
  const auto& lines = lines_of("names.txt");
  constexpr size_t kBatch = 1000;
  std::vector<const char*> texts;
  for (const std::string& line : lines) texts.push_back(line.c_str());
  std::vector<int64_t> counts(kBatch);
  size_t from = 0;
  for (auto _ : state) {
    if (from + kBatch > texts.size()) from = 0;
    char* digits = korvi_fingerprint_many(texts.data() + from, kBatch, CLEAN_TEXT, 0, counts.data());
    benchmark::DoNotOptimize(digits);
    korvi_free(digits);
    from += kBatch;
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * kBatch));
}
void BM_FingerprintText10k(benchmark::State& state) {
  run_fingerprints(state, "texts.txt", CLEAN_TEXT, 0);
  // Every code point of a 10,000-character ASCII text starts one window.
  state.counters["windows_per_second"] = benchmark::Counter(
      static_cast<double>(state.iterations()) * (10000 - 13), benchmark::Counter::kIsRate);
}
void BM_FingerprintText10kTiledShort(benchmark::State& s) {
  run_fingerprints(s, "texts.txt", CLEAN_TEXT, FINGERPRINT_TILED | FINGERPRINT_SHORT);
}

// Keyed twins of the rows above: the report sets each beside its public-salt row.
void BM_FingerprintNamesKeyed(benchmark::State& s) {
  run_fingerprints(s, "names.txt", CLEAN_TEXT, 0, bench_key());
}
void BM_FingerprintNamesTiledKeyed(benchmark::State& s) {
  run_fingerprints(s, "names.txt", CLEAN_TEXT, FINGERPRINT_TILED, bench_key());
}
void BM_FingerprintNamesShortKeyed(benchmark::State& s) {
  run_fingerprints(s, "names.txt", CLEAN_TEXT, FINGERPRINT_SHORT, bench_key());
}
void BM_FingerprintText10kKeyed(benchmark::State& state) {
  run_fingerprints(state, "texts.txt", CLEAN_TEXT, 0, bench_key());
  state.counters["windows_per_second"] = benchmark::Counter(
      static_cast<double>(state.iterations()) * (10000 - 13), benchmark::Counter::kIsRate);
}
void BM_FingerprintText10kTiledShortKeyed(benchmark::State& s) {
  run_fingerprints(s, "texts.txt", CLEAN_TEXT, FINGERPRINT_TILED | FINGERPRINT_SHORT, bench_key());
}

void run_boolean_road(benchmark::State& state, const korvi_key* key);
void BM_BooleanRoad10Operands(benchmark::State& state) { run_boolean_road(state, nullptr); }
void BM_BooleanRoad10OperandsKeyed(benchmark::State& state) { run_boolean_road(state, bench_key()); }

void run_boolean_road(benchmark::State& state, const korvi_key* key) {
  const auto& names = lines_of("names.txt");
  std::vector<std::string> expressions;
  for (size_t i = 0; i + 10 <= 1000; i += 10) {
    std::string e;
    for (size_t k = 0; k < 10; ++k) {
      if (k > 0) e += (k % 3 == 0) ? " OR " : (k % 3 == 1 ? " AND " : " - ");
      e += "\"" + names[i + k] + "\"";
    }
    expressions.push_back(e);
  }
  size_t i = 0;
  for (auto _ : state) {
    const char* expression = expressions[i++ % expressions.size()].c_str();
    FingerprintResult* r = key != nullptr
                               ? fingerprint_keyed(key, expression, CLEAN_TEXT, FINGERPRINT_BOOLEAN)
                               : fingerprint(expression, CLEAN_TEXT, FINGERPRINT_BOOLEAN);
    benchmark::DoNotOptimize(r->text);
    free_result(r);
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
}

template <class Call>
void run_assets(benchmark::State& state, const char* file, Call call) {
  const auto& lines = lines_of(file);
  size_t i = 0, bytes = 0;
  for (auto _ : state) {
    const std::string& value = lines[i++ % lines.size()];
    char* json = call(value.c_str());
    benchmark::DoNotOptimize(json);
    std::free(json);
    bytes += value.size();
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
  state.SetBytesProcessed(static_cast<int64_t>(bytes));
}

void run_name_large_group(benchmark::State& state, const korvi_key* key);
void BM_AssetsNameLargeGroup(benchmark::State& state) { run_name_large_group(state, nullptr); }
void BM_AssetsNameLargeGroupKeyed(benchmark::State& state) {
  run_name_large_group(state, bench_key());
}

void run_name_large_group(benchmark::State& state, const korvi_key* key) {
  // ALLIE and LENA have the largest nickname groups.
  size_t i = 0;
  const char* firsts[] = {"Allie", "Lena"};
  for (auto _ : state) {
    const char* first = firsts[i++ % 2];
    char* json = key != nullptr
                     ? assets_from_name_keyed(key, "person", "42", first, "Marie", "Henderson")
                     : assets_from_name("person", "42", first, "Marie", "Henderson");
    benchmark::DoNotOptimize(json);
    std::free(json);
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
}
void BM_AssetsAddress(benchmark::State& s) {
  run_assets(s, "addresses.txt", [](const char* v) { return assets_from_address("person", "42", v); });
}
void BM_AssetsEmail(benchmark::State& s) {
  run_assets(s, "emails.txt", [](const char* v) { return assets_from_email_address("person", "42", v); });
}
void BM_AssetsSsn(benchmark::State& s) {
  run_assets(s, "ssns.txt", [](const char* v) { return assets_from_ssn("person", "42", v); });
}
void BM_AssetsPhone(benchmark::State& s) {
  run_assets(s, "phones.txt", [](const char* v) { return assets_from_phone_number("person", "42", v); });
}
void BM_AssetsCityStateZip(benchmark::State& s) {
  run_assets(s, "city_state_zips.txt", [](const char* v) {
    // City, state and zip are tab-separated in the data file.
    const std::string line = v;
    const size_t tab1 = line.find('\t'), tab2 = line.find('\t', tab1 + 1);
    const std::string city = line.substr(0, tab1), state = line.substr(tab1 + 1, tab2 - tab1 - 1),
                      zip = line.substr(tab2 + 1);
    return assets_from_city_state_zip("person", "42", city.c_str(), state.c_str(), zip.c_str());
  });
}

void BM_AssetsAddressKeyed(benchmark::State& s) {
  run_assets(s, "addresses.txt",
             [](const char* v) { return assets_from_address_keyed(bench_key(), "person", "42", v); });
}
void BM_AssetsEmailKeyed(benchmark::State& s) {
  run_assets(s, "emails.txt", [](const char* v) {
    return assets_from_email_address_keyed(bench_key(), "person", "42", v);
  });
}
void BM_AssetsSsnKeyed(benchmark::State& s) {
  run_assets(s, "ssns.txt",
             [](const char* v) { return assets_from_ssn_keyed(bench_key(), "person", "42", v); });
}
void BM_AssetsPhoneKeyed(benchmark::State& s) {
  run_assets(s, "phones.txt", [](const char* v) {
    return assets_from_phone_number_keyed(bench_key(), "person", "42", v);
  });
}
void BM_AssetsCityStateZipKeyed(benchmark::State& s) {
  run_assets(s, "city_state_zips.txt", [](const char* v) {
    const std::string line = v;
    const size_t tab1 = line.find('\t'), tab2 = line.find('\t', tab1 + 1);
    const std::string city = line.substr(0, tab1), state = line.substr(tab1 + 1, tab2 - tab1 - 1),
                      zip = line.substr(tab2 + 1);
    return assets_from_city_state_zip_keyed(bench_key(), "person", "42", city.c_str(),
                                            state.c_str(), zip.c_str());
  });
}

void run_clean(benchmark::State& state, const char* file) {
  const auto& lines = lines_of(file);
  size_t i = 0, bytes = 0;
  for (auto _ : state) {
    const std::string& text = lines[i++ % lines.size()];
    char* cleaned = clean_string(text.c_str(), CLEAN_TEXT);
    benchmark::DoNotOptimize(cleaned);
    std::free(cleaned);
    bytes += text.size();
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
  state.SetBytesProcessed(static_cast<int64_t>(bytes));
}
void BM_CleanAscii(benchmark::State& s) { run_clean(s, "names.txt"); }
void BM_CleanMixedScripts(benchmark::State& s) { run_clean(s, "mixed.txt"); }

void BM_JsonDecode1MB(benchmark::State& state) {
  const std::string doc = read_file("document.json");
  for (auto _ : state) {
    JsonNode* tree = json_decode(doc.c_str());
    if (tree == nullptr) state.SkipWithError("document did not decode");
    json_delete(tree);
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * doc.size()));
}
void BM_JsonEncode1MB(benchmark::State& state) {
  const std::string doc = read_file("document.json");
  JsonNode* tree = json_decode(doc.c_str());
  size_t bytes = 0;
  for (auto _ : state) {
    char* text = json_encode(tree);
    bytes += std::strlen(text);
    std::free(text);
  }
  json_delete(tree);
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
  state.SetBytesProcessed(static_cast<int64_t>(bytes));
}

// Baseline (c): libsodium's SHA-512 of one 128-byte block.
void BM_Sha512Block128Libsodium(benchmark::State& state) {
  unsigned char block[128] = {1, 2, 3};
  unsigned char digest[64];
  for (auto _ : state) {
    crypto_hash_sha512(digest, block, sizeof block);
    block[0] = digest[0];
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
}

BENCHMARK(BM_FingerprintNames);
BENCHMARK(BM_FingerprintManyNames);
BENCHMARK(BM_FingerprintNamesKeyed);
BENCHMARK(BM_FingerprintNamesTiled);
BENCHMARK(BM_FingerprintNamesTiledKeyed);
BENCHMARK(BM_FingerprintNamesShort);
BENCHMARK(BM_FingerprintNamesShortKeyed);
BENCHMARK(BM_FingerprintText10k);
BENCHMARK(BM_FingerprintText10kKeyed);
BENCHMARK(BM_FingerprintText10kTiledShort);
BENCHMARK(BM_FingerprintText10kTiledShortKeyed);
BENCHMARK(BM_BooleanRoad10Operands);
BENCHMARK(BM_BooleanRoad10OperandsKeyed);
BENCHMARK(BM_AssetsNameLargeGroup);
BENCHMARK(BM_AssetsNameLargeGroupKeyed);
BENCHMARK(BM_AssetsAddress);
BENCHMARK(BM_AssetsAddressKeyed);
BENCHMARK(BM_AssetsEmail);
BENCHMARK(BM_AssetsEmailKeyed);
BENCHMARK(BM_AssetsSsn);
BENCHMARK(BM_AssetsSsnKeyed);
BENCHMARK(BM_AssetsPhone);
BENCHMARK(BM_AssetsPhoneKeyed);
BENCHMARK(BM_AssetsCityStateZip);
BENCHMARK(BM_AssetsCityStateZipKeyed);
BENCHMARK(BM_CleanAscii);
BENCHMARK(BM_CleanMixedScripts);
BENCHMARK(BM_JsonDecode1MB);
BENCHMARK(BM_JsonEncode1MB);
BENCHMARK(BM_Sha512Block128Libsodium);

// Peak resident memory of one call, measured in a forked child so earlier
// work does not hide it: the child's peak minus an idle child's peak.
template <class Call>
long peak_kib_of(Call call) {
  auto child_peak = [](auto&& work) -> long {
    const pid_t pid = fork();
    if (pid == 0) {
      work();
      _exit(0);
    }
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    return usage.ru_maxrss;
  };
  const long idle = child_peak([] {});
  const long busy = child_peak(call);
  return busy - idle;
}

void report_memory() {
  std::string megabyte;
  const auto& texts = lines_of("texts.txt");
  while (megabyte.size() < 1000000) megabyte += texts[megabyte.size() % texts.size()];
  const long fingerprint_kib = peak_kib_of([&] {
    FingerprintResult* r = fingerprint(megabyte.c_str(), CLEAN_TEXT, 0);
    free_result(r);
  });
  // Twenty words of the eight-form CENTER class: far beyond the variant cap.
  std::string address = "1";
  for (int i = 0; i < 20; ++i) address += " CENTER";
  const long address_kib = peak_kib_of([&] {
    char* json = assets_from_address("person", "42", address.c_str());
    std::free(json);
  });
  std::printf("{\"memory\": {\"fingerprint_1MB_text_peak_kib\": %ld, "
              "\"assets_from_address_at_cap_peak_kib\": %ld}}\n",
              fingerprint_kib, address_kib);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && std::strcmp(argv[1], "--memory") == 0) {
    report_memory();
    return 0;
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
