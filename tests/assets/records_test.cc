// The asset records, fingerprint lists and asset trees of the C interface.
// Fixed expected values come from tests/assets/reference.py (hashlib); the
// trees are checked against the text exports, which are written apart.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "korvi/asset_records.h"
#include "korvi/assets.h"

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define KORVI_CAPPED_MEMORY_WORKS 0  // the sanitizers' shadow memory needs the address space
#else
#define KORVI_CAPPED_MEMORY_WORKS 1
#endif

namespace {

using Strings = std::vector<std::string>;

std::string take_text(char* text) {
  std::string out = text != nullptr ? text : "(NULL)";
  std::free(text);
  return out;
}

// The compact text of a tree, released; "(NULL)" for no tree.
std::string encode(JsonNode* tree) {
  if (tree == nullptr) return "(NULL)";
  std::string out = take_text(json_encode(tree));
  json_delete(tree);
  return out;
}

// The items of a list, released; nullopt for no list.
std::optional<Strings> take_list(StringList* list) {
  if (list == nullptr) return std::nullopt;
  Strings out;
  for (auto* item = static_cast<char**>(utarray_front(list)); item != nullptr;
       item = static_cast<char**>(utarray_next(list, item))) {
    out.push_back(*item);
  }
  utarray_free(list);
  return out;
}

StringList* string_list(const std::vector<const char*>& items) {
  StringList* list = nullptr;
  utarray_new(list, &ut_str_icd);
  for (const char* item : items) utarray_push_back(list, &item);
  return list;
}

// Seeded random fields that reach the variant tables (nicknames, address
// words, states) and the awkward bytes: initials, punctuation, non-ASCII,
// invalid UTF-8, DEL and control characters.
class Fields {
 public:
  explicit Fields(uint32_t seed) : random_(seed) {}
  size_t below(size_t n) { return std::uniform_int_distribution<size_t>(0, n - 1)(random_); }
  bool chance(int percent) { return below(100) < static_cast<size_t>(percent); }
  std::string pick(std::initializer_list<const char*> pool) { return pool.begin()[below(pool.size())]; }

  // One of pool in mixed case, sometimes with noise inside or after it.
  std::string word(std::initializer_list<const char*> pool) {
    std::string text = pick(pool);
    for (char& c : text) {
      if (c >= 'A' && c <= 'Z' && chance(40)) c = static_cast<char>(c - 'A' + 'a');
    }
    if (chance(15)) text.insert(below(text.size() + 1), noise());
    if (chance(10)) text += noise();
    return text;
  }
  std::string noise() {
    return pick({".", ",", "-", "'", " ", "  ", "\t", "\xC3\xA9", "\xC3\x9F", "\xE4\xB8\xAD",
                 "\xF0\x9F\x98\x80", "\xFF", "\xC3", "\xE2\x82", "\x7F", "\"", "\\", "#", "\xC2\xA0"});
  }
  // Digits with separators, and now and then something else.
  std::string digits(size_t count) {
    std::string text;
    for (size_t i = 0; i < count; ++i) {
      text.push_back(static_cast<char>('0' + below(10)));
      if (chance(20)) text += pick({"-", " ", ".", "(", ")"});
    }
    return chance(5) ? text + noise() : text;
  }

 private:
  std::mt19937 random_;
};

TEST(AssetTrees, EncodeToTheTextOfTheMatchingExport) {
  Fields f(20261208);
  constexpr int kRounds = 1500;  // six fields each: 9,000 cases
  int nonempty = 0;
  for (int round = 0; round < kRounds; ++round) {
    const auto meta = [&] {
      return f.pick({"person", "42", "a \"b\"\\c", "x\xFFy", "\xC3\xA9t\xC3\xA9", "d\x7F\x01", ""});
    };
    const std::string type = meta(), id = meta();
    const char *rt = type.c_str(), *ri = id.c_str();
    const auto given = [&] {
      return f.word({"BOB", "ROBERT", "MIKE", "KATHERINE", "WILLIAM", "BILL", "ELIZABETH", "JOS\xC3\x89",
                     "J.", "J", "AL", "ANNE-MARIE", "O'NEIL", "KEVIN", "CHRISTOPHER", "PEG",
                     "\xE5\xBC\xA0\xE4\xBC\x9F", ""});
    };
    const std::string first = given(), middle = given();
    const std::string last =
        f.word({"SMITH", "DOE", "ROSS", "O'BRIEN", "M\xC3\x9CLLER", "NG", "VAN DER BERG", ""});
    const char* middle_arg = f.chance(40) ? nullptr : middle.c_str();
    std::string address = std::to_string(f.below(20000));
    for (size_t words = 1 + f.below(4); words > 0; --words) {  // few words: a small product of forms
      address += " " + f.word({"N",     "NORTH", "S.",  "EAST", "MAIN",  "ST",           "STREET", "AVE",
                               "RD",    "ROAD",  "APT", "STE",  "SUITE", "BLVD",         "PO",     "BOX",
                               "MOUNT", "FORT",  "LN",  "1ST",  "ELM",   "\xC3\x9ALTIMA"});
    }
    const std::string city =
        f.word({"AUSTIN", "SAINT LOUIS", "ST. PAUL", "NEW YORK", "S\xC3\x83O PAULO", "MT VERNON", ""});
    const std::string state =
        f.word({"TX", "TEXAS", "CA", "CALIFORNIA", "NY", "NEW YORK", "DC", "PR", "QQ", ""});
    const std::string zip = f.digits(5 + f.below(5));
    const std::string email = f.word({"JOHN.DOE", "J+TAG", "\xC3\xA9MILE", "A.B"}) +
                              (f.chance(95) ? "@" : "") + f.word({"EXAMPLE.COM", "MAIL.EXAMPLE.ORG"});
    const std::string ssn = f.digits(f.below(12)), phone = f.digits(f.below(14));
    const struct {
      const char* field;
      std::string text;
      std::string tree;
    } cases[] = {
        {"name", take_text(assets_from_name(rt, ri, first.c_str(), middle_arg, last.c_str())),
         encode(json_assets_from_name(rt, ri, first.c_str(), middle_arg, last.c_str()))},
        {"address", take_text(assets_from_address(rt, ri, address.c_str())),
         encode(json_assets_from_address(rt, ri, address.c_str()))},
        {"city_state_zip",
         take_text(assets_from_city_state_zip(rt, ri, city.c_str(), state.c_str(), zip.c_str())),
         encode(json_assets_from_city_state_zip(rt, ri, city.c_str(), state.c_str(), zip.c_str()))},
        {"email", take_text(assets_from_email_address(rt, ri, email.c_str())),
         encode(json_assets_from_email_address(rt, ri, email.c_str()))},
        {"ssn", take_text(assets_from_ssn(rt, ri, ssn.c_str())),
         encode(json_assets_from_ssn(rt, ri, ssn.c_str()))},
        {"phone", take_text(assets_from_phone_number(rt, ri, phone.c_str())),
         encode(json_assets_from_phone_number(rt, ri, phone.c_str()))},
    };
    for (const auto& c : cases) {
      ASSERT_EQ(c.tree, c.text) << "round " << round << ", " << c.field;
      nonempty += c.text != "[]";
    }
  }
  // The fields must mostly reach the variants, not the empty answer.
  EXPECT_GT(nonempty, kRounds * 6 * 3 / 4);
}

TEST(AssetTrees, AbsentArgumentsGiveAnEmptyArray) {
  const char* bad = "\xFF";
  const std::string cases[] = {
      encode(json_assets_from_name(nullptr, "1", "KEVIN", nullptr, "DOE")),
      encode(json_assets_from_name("p", "1", nullptr, "J", "DOE")),
      encode(json_assets_from_name("p", "1", "KEVIN", "", "DOE")),
      encode(json_assets_from_address("p", nullptr, "1 MAIN ST")),
      encode(json_assets_from_city_state_zip("p", "1", "AUSTIN", nullptr, "78701")),
      encode(json_assets_from_email_address("p", "1", bad)),
      encode(json_assets_from_ssn("p", "1", nullptr)),
      encode(json_assets_from_phone_number("p", "1", "555\xC3")),
      encode(json_assets_from_variants("p", "1", "f", nullptr)),
      encode(json_assets_from_variants("p", "1", nullptr, nullptr)),
      encode(json_assets_from_raw("p", "1", nullptr, CLEAN_DIGITS, "1")),
      encode(json_assets_from_raw("p", "1", "f", CLEAN_DIGITS, bad)),
      encode(json_assets_from_email(nullptr, "1", "f", CLEAN_CODE, "a@b")),
      encode(json_assets_from_email("p", "1", "f", CLEAN_CODE, nullptr)),
  };
  for (size_t i = 0; i < std::size(cases); ++i) EXPECT_EQ(cases[i], "[]") << "case " << i;
}

TEST(AssetTrees, SharedStepsWithTheirOwnFieldAndMode) {
  // 1: seven code points, hashed with its spaces; 2: eleven, hashed as it
  // stands (lower case); 3: twelve, cleaned and tiled; 4: cleans to eleven,
  // skipped; 5: NULL, skipped; 6: two tiles, the third repeating the first.
  StringList* variants = string_list(
      {" AB CD ", "abcde fghij", "abcde fghijk", " SMITH, HOB ", nullptr, "aaaaaaaaaaaaaa aaaaaaaaaaaaaa"});
  EXPECT_EQ(
      encode(json_assets_from_variants("t", "7", "nickname", variants)),
      R"([{"fingerprints":["b37f5f0d14fc4774"],"metadata":{"record_type":"t","record_id":"7","field":"nickname","variant_id":"1"}},{"fingerprints":["169be62177111a90"],"metadata":{"record_type":"t","record_id":"7","field":"nickname","variant_id":"2"}},{"fingerprints":["f6618d1f8662a4e6"],"metadata":{"record_type":"t","record_id":"7","field":"nickname","variant_id":"3"}},{"fingerprints":["c859d5633d6f21be","d8ead467ee837fd7"],"metadata":{"record_type":"t","record_id":"7","field":"nickname","variant_id":"6"}}])");
  ASSERT_EQ(utarray_len(variants), 6u);  // read, not consumed
  utarray_free(variants);

  EXPECT_EQ(
      encode(json_assets_from_raw("t", "7", "tax_id", CLEAN_DIGITS, "123-45-6789")),
      R"([{"fingerprints":["63c63d3e8639271c"],"metadata":{"record_type":"t","record_id":"7","field":"tax_id","variant_id":"1"}}])");
  EXPECT_EQ(
      encode(json_assets_from_raw("t", "7", "nick", CLEAN_TEXT, "  o'Brien ")),
      R"([{"fingerprints":["8bfab8fdfb6465d9"],"metadata":{"record_type":"t","record_id":"7","field":"nick","variant_id":"1"}}])");
  EXPECT_EQ(
      encode(json_assets_from_email("t", "7", "login", CLEAN_CODE, "John.Doe@Example.com")),
      R"([{"fingerprints":["bd1ea8e9e5a5740f"],"metadata":{"record_type":"t","record_id":"7","field":"login","variant_id":"1"}}])");
  EXPECT_EQ(
      encode(json_assets_from_email("t", "7", "login", CLEAN_TEXT, "john.doe@example.com")),
      R"([{"fingerprints":["dd27adca46d28c6b"],"metadata":{"record_type":"t","record_id":"7","field":"login","variant_id":"1"}}])");
}

TEST(AssetRecords, EmptyAssetAndMetadataInOrder) {
  Asset* asset = nullptr;
  asset_new(&asset, nullptr, nullptr);
  ASSERT_NE(asset, nullptr);
  ASSERT_NE(asset->fingerprints, nullptr);
  ASSERT_NE(asset->metadata, nullptr);
  EXPECT_EQ(encode(asset_to_json(asset)), R"({"fingerprints":[],"metadata":{}})");

  asset_add_metadata(asset, "k", "1");
  asset_add_metadata(asset, "k", "2");  // repeated keys are kept, in order
  asset_add_metadata(asset, nullptr, "x");
  asset_add_metadata(asset, "x", nullptr);
  asset_add_metadata(nullptr, "x", "y");
  asset_add_metadata(asset, "esc \"\\", "\x01\x1F\b\n\t\xC3\xA9\xE4\xB8\xAD \xFF!");
  EXPECT_EQ(utarray_len(asset->metadata), 3u);
  const auto* first = static_cast<const MetadataEntry*>(utarray_front(asset->metadata));
  EXPECT_STREQ(first->key, "k");
  EXPECT_STREQ(first->value, "1");
  const std::string expected =
      R"({"fingerprints":[],"metadata":{"k":"1","k":"2","esc \"\\":"\u0001\u001F\b\n\t)"
      "\xC3\xA9\xE4\xB8\xAD \xEF\xBF\xBD!\"}}";
  // The tree holds its own copies and outlives the asset.
  JsonNode* tree = asset_to_json(asset);
  asset_free(&asset);
  EXPECT_EQ(asset, nullptr);
  asset_free(&asset);  // a NULL handle again: nothing
  asset_free(nullptr);
  EXPECT_EQ(encode(tree), expected);
  EXPECT_EQ(asset_to_json(nullptr), nullptr);
}

TEST(AssetRecords, AdoptsTheListsItIsGiven) {
  // Under the sanitizer build a list released twice, or never, fails the run.
  StringList* prints = string_list({"00ff", "0a", nullptr});
  UT_array* metadata = nullptr;
  utarray_new(metadata, &ut_metadata_icd);
  const MetadataEntry entry{const_cast<char*>("record_type"), const_cast<char*>("person")};
  utarray_push_back(metadata, &entry);

  Asset* asset = nullptr;
  asset_new(&asset, prints, metadata);
  ASSERT_NE(asset, nullptr);
  EXPECT_EQ(asset->fingerprints, prints);  // no copies
  EXPECT_EQ(asset->metadata, metadata);
  asset_add_metadata(asset, "field", "name");
  // A NULL item of a caller's list is left out.
  EXPECT_EQ(encode(asset_to_json(asset)),
            R"({"fingerprints":["00ff","0a"],"metadata":{"record_type":"person","field":"name"}})");
  asset_free(&asset);

  // With nowhere to put the asset the lists are released at once.
  asset_new(nullptr, string_list({"ab"}), nullptr);
}

TEST(FingerprintLists, ShingledListsFollowTheCleanedLength) {
  const uint32_t tiled_short = FINGERPRINT_TILED | FINGERPRINT_SHORT;
  const struct {
    const char* text;
    int mode;
    uint32_t flags;
    std::optional<Strings> expected;
  } cases[] = {
      {"abcde fghij", CLEAN_TEXT, tiled_short, std::nullopt},   // 11 code points
      {"abcde, fghij", CLEAN_TEXT, tiled_short, std::nullopt},  // the comma merges into the space
      {"\xFF abcdefghijklmn", CLEAN_TEXT, tiled_short, std::nullopt},
      {"123-45-6789-00", CLEAN_DIGITS, tiled_short, std::nullopt},             // 11 digits
      {"ABCDEFGHIJKL", CLEAN_TEXT, tiled_short, Strings{"12e5bfd084181573"}},  // padded: one tile
      {"abcdefghijklm", CLEAN_TEXT, tiled_short, Strings{"01fa597eab9a89d7", "67db8984931d0d1e"}},
      {"ABCDEFGHIJKLMN", CLEAN_TEXT, tiled_short, Strings{"9f62db2e1eec5c89"}},
      {"ABCDEFGHIJKLMNOPQRSTUVWXYZ", CLEAN_TEXT, tiled_short,
       Strings{"8d545deba957de41", "9f62db2e1eec5c89"}},
      {"aaaaaaaaaaaaaaaaaa", CLEAN_TEXT, FINGERPRINT_SHORT, Strings{"d8ead467ee837fd7"}},  // 5 equal windows
      {"abcde fghijk", CLEAN_TEXT, 0,
       Strings{"f6618d1f8662a4e6e00874cc6a5f083678131708c31b4238883545775070de87"}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(take_list(fingerprints_from_string(c.text, c.mode, c.flags)), c.expected) << c.text;
  }
  EXPECT_EQ(fingerprints_from_string(nullptr, CLEAN_TEXT, 0), nullptr);
}

TEST(FingerprintLists, WholeTextIsHashedAsItStands) {
  const struct {
    const char* text;
    uint32_t flags;
    const char* expected;
  } cases[] = {
      {"", 0, "980acfd6a63af303d005f29ac3c1622ad1367c65c28dbc7ee9e83a137c964083"},  // the salt alone
      {"", FINGERPRINT_SHORT | FINGERPRINT_TILED, "980acfd6a63af303"},
      {"abc ", 0, "b4f1fea690c50c2c12149c845801e13ff8ef64882b526554ca56f9d0e90773be"},
      {"ABC", 0, "c6b37ae690ef24a3ca71eed4ea58b67eb7dbfffc18347786eab4ca03f792e615"},
      {"o'Brien", 0, "17c5d6f849352b4bc099fd346b4ca1e0e72174bd5703c391eb62e41d2ffeb099"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(take_list(raw_fingerprints_from_string(c.text, c.flags)), Strings{c.expected}) << c.text;
  }
  EXPECT_EQ(raw_fingerprints_from_string(nullptr, 0), nullptr);
}

// Caps the address space a little above its use and allocates all of it,
// a megabyte of it in small blocks; then hands the blocks back one at a time and
// runs step after each, so that allocations fail at every point of the work
// in turn. step returns whether it succeeded; a failed step must only answer
// NULL. Runs in a child process, which exits 0 once a step has succeeded.
template <class Step>
[[noreturn]] void run_with_growing_memory(Step step) {
  std::vector<void*> held, spare;
  held.reserve(1 << 16);
  spare.reserve(4096);
  unsigned long pages = 0;
  FILE* statm = std::fopen("/proc/self/statm", "r");
  if (statm == nullptr || std::fscanf(statm, "%lu", &pages) != 1) std::_Exit(3);
  std::fclose(statm);
  const rlim_t limit = pages * 4096 + (8 << 20);
  const rlimit cap{limit, limit};
  if (setrlimit(RLIMIT_AS, &cap) != 0) std::_Exit(3);
  for (void* block; spare.size() < 4096 && (block = std::malloc(256)) != nullptr;) spare.push_back(block);
  for (size_t size : {size_t{1} << 20, size_t{4096}, size_t{16}}) {
    for (void* block; held.size() < held.capacity() && (block = std::malloc(size)) != nullptr;)
      held.push_back(block);
  }
  while (!spare.empty()) {
    if (step()) std::_Exit(0);
    std::free(spare.back());
    spare.pop_back();
  }
  std::_Exit(4);  // never succeeded
}

TEST(AssetMemoryDeathTest, RunningOutOfMemoryAnswersNullNeverExits) {
  if (!KORVI_CAPPED_MEMORY_WORKS) GTEST_SKIP() << "address space cannot be capped under sanitizers";
  GTEST_FLAG_SET(death_test_style, "fast");
  const std::string names = encode(json_assets_from_name("person", "42", "Bob", "J", "Smith"));
  // A failure half way must leave nothing behind that a crash would show.
  EXPECT_EXIT(run_with_growing_memory([&] {
                JsonNode* tree = json_assets_from_name("person", "42", "Bob", "J", "Smith");
                if (tree == nullptr) return false;
                char* text = json_encode(tree);
                json_delete(tree);
                if (text == nullptr) return false;
                if (text != names) std::_Exit(5);
                std::free(text);
                return true;
              }),
              ::testing::ExitedWithCode(0), "");
  EXPECT_EXIT(
      run_with_growing_memory([] {
        Asset* asset = nullptr;
        asset_new(&asset, fingerprints_from_string("abcdefghijklmnopqrstuvwxyz", CLEAN_TEXT, 0), nullptr);
        if (asset == nullptr) return false;
        for (int i = 0; i < 40; ++i) asset_add_metadata(asset, "key", "a value of some length");
        const bool complete = utarray_len(asset->fingerprints) == 13 && utarray_len(asset->metadata) == 40;
        JsonNode* tree = asset_to_json(asset);
        asset_free(&asset);
        json_delete(tree);
        return complete && tree != nullptr;
      }),
      ::testing::ExitedWithCode(0), "");
}

}  // namespace
