// Expected fingerprints and JSON texts come from tests/assets/print_expected.py
// (an independent Python computation with hashlib), not from this library.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "assets/assets.h"
#include "korvi/assets.h"

namespace {

using korvi::assets::Asset;
using Strings = std::vector<std::string>;

std::string take(char* text) {
  const std::unique_ptr<char, decltype(&std::free)> owned(text, &std::free);
  EXPECT_NE(text, nullptr);
  return text ? std::string(text) : std::string();
}

std::string meta(const char* field, int variant) {
  return std::string(R"("metadata":{"record_type":"person","record_id":"42","field":")") + field +
         R"(","variant_id":")" + std::to_string(variant) + "\"}";
}

// The "variant_id" values of an asset array, in order.
std::vector<int> variant_ids(const std::string& json) {
  std::vector<int> ids;
  const std::string marker = "\"variant_id\":\"";
  for (size_t at = json.find(marker); at != std::string::npos; at = json.find(marker, at)) {
    at += marker.size();
    ids.push_back(std::atoi(json.c_str() + at));
  }
  return ids;
}

TEST(AssetExports, OneCompleteTextPerExport) {
  const struct {
    const char* label;
    std::string actual;
    const char* expected;
  } cases[] = {
      {"name", take(assets_from_name("person", "42", "kevin", "James", "Doe")),
       R"([{"fingerprints":["c5b742b9117dbfe5"],"metadata":{"record_type":"person","record_id":"42","field":"name","variant_id":"1"}},{"fingerprints":["172225e726face8e","9c4beb7ce923aa7d"],"metadata":{"record_type":"person","record_id":"42","field":"name","variant_id":"3"}},{"fingerprints":["25378f60ab674941","3e24db7c37d0ac60"],"metadata":{"record_type":"person","record_id":"42","field":"name","variant_id":"4"}},{"fingerprints":["a694bde80e7f7e6e","cd170e06e735bd89"],"metadata":{"record_type":"person","record_id":"42","field":"name","variant_id":"5"}},{"fingerprints":["c09ce616b310fa0d","d64830fba1624d61"],"metadata":{"record_type":"person","record_id":"42","field":"name","variant_id":"6"}}])"},
      {"address", take(assets_from_address("person", "42", "123 N. Main St.")),
       R"([{"fingerprints":["3b08bbf302e812a2","58c71858de379f3d"],"metadata":{"record_type":"person","record_id":"42","field":"address","variant_id":"1"}},{"fingerprints":["40c39b356502e10a","b7bf7943af5a848f"],"metadata":{"record_type":"person","record_id":"42","field":"address","variant_id":"2"}},{"fingerprints":["40c39b356502e10a","b366772bd1a0f889"],"metadata":{"record_type":"person","record_id":"42","field":"address","variant_id":"3"}},{"fingerprints":["40c39b356502e10a"],"metadata":{"record_type":"person","record_id":"42","field":"address","variant_id":"4"}},{"fingerprints":["02faf480fc561a7f","a3236f04c6337d8e"],"metadata":{"record_type":"person","record_id":"42","field":"address","variant_id":"5"}},{"fingerprints":["814b1eaa7d8036be","a3236f04c6337d8e"],"metadata":{"record_type":"person","record_id":"42","field":"address","variant_id":"6"}},{"fingerprints":["356536e8cbeef747","a3236f04c6337d8e"],"metadata":{"record_type":"person","record_id":"42","field":"address","variant_id":"7"}},{"fingerprints":["a3236f04c6337d8e","ea6f9974600935e0"],"metadata":{"record_type":"person","record_id":"42","field":"address","variant_id":"8"}}])"},
      {"city_state_zip", take(assets_from_city_state_zip("person", "42", "Austin", "tx", "78701-1234")),
       R"([{"fingerprints":["854c5394f4220fff","ba2f444d680dc420"],"metadata":{"record_type":"person","record_id":"42","field":"city_state_zip","variant_id":"1"}},{"fingerprints":["a54eded9fcd00ac6","de6881a2d23d9cbb"],"metadata":{"record_type":"person","record_id":"42","field":"city_state_zip","variant_id":"2"}}])"},
      {"email", take(assets_from_email_address("person", "42", "John.Doe@Example.com")),
       R"([{"fingerprints":["bd1ea8e9e5a5740f"],"metadata":{"record_type":"person","record_id":"42","field":"email_address","variant_id":"1"}}])"},
      {"ssn", take(assets_from_ssn("person", "42", "123-45-6789")),
       R"([{"fingerprints":["63c63d3e8639271c"],"metadata":{"record_type":"person","record_id":"42","field":"ssn","variant_id":"1"}}])"},
      {"phone", take(assets_from_phone_number("person", "42", "(555) 123-4567")),
       R"([{"fingerprints":["c22a92b649155065"],"metadata":{"record_type":"person","record_id":"42","field":"phone_number","variant_id":"1"}}])"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.actual, c.expected) << c.label;
}

TEST(AssetExports, SkippedVariantsKeepTheirNumbers) {
  // " SMITH, HOB " has 12 code points but cleans again to 11: no asset 4.
  const std::string bob = take(assets_from_name("person", "42", "Bob", nullptr, "Smith"));
  EXPECT_EQ(variant_ids(bob), (std::vector<int>{1, 3, 5, 6, 7, 9, 10, 11, 12, 13, 14, 15,
                                                16, 17, 19, 20, 21, 22, 23, 24, 25, 26, 27, 28}));
  EXPECT_EQ(bob.rfind(R"([{"fingerprints":["139df4b27260ccae"],)" + meta("name", 1) + "},", 0), 0u);
  EXPECT_NE(bob.find(R"({"fingerprints":["0c99ead1b1a6fe30"],)" + meta("name", 3) + "}"), std::string::npos);

  // 32 variants, MIKE's two first and MICKEY's next.
  const std::string mike = take(assets_from_name("person", "42", "MIKE", nullptr, "ROSS"));
  EXPECT_EQ(variant_ids(mike), (std::vector<int>{1, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 15, 16,
                                                 17, 19, 20, 21, 22, 23, 24, 25, 26, 27, 28, 29, 30, 31}));
  const std::string mike_start = R"([{"fingerprints":["722b952de8077e20"],)" + meta("name", 1) +
                                 R"(},{"fingerprints":["1536495fcf67fb45","2aa3ad6c293b74ad"],)" +
                                 meta("name", 3) + R"(},{"fingerprints":["5c94251f43160ed5","f46ade0345c1eedd"],)" +
                                 meta("name", 4) + "},";
  EXPECT_EQ(mike.rfind(mike_start, 0), 0u) << mike.substr(0, 400);
}

TEST(AssetExports, ElevenCodePointsHashedWholeTwelveTiled) {
  const struct {
    const char* address;
    const char* fingerprints;
  } cases[] = {
      {"abcde fghij", R"(["cb8b7491a17ae0c1"])"},   // 11: the variant's bytes as they stand
      {"abcde fghijk", R"(["f6618d1f8662a4e6"])"},  // 12: padded to one tile
      // 29 code points: the third tile repeats the first, so two remain, sorted.
      {"aaaaaaaaaaaaaa aaaaaaaaaaaaaa", R"(["c859d5633d6f21be","d8ead467ee837fd7"])"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(take(assets_from_address("person", "42", c.address)),
              std::string(R"([{"fingerprints":)") + c.fingerprints + "," + meta("address", 1) + "}]")
        << c.address;
  }
}

TEST(AssetExports, DigitsOnlyForSsnAndPhone) {
  const std::string ssn = R"([{"fingerprints":["63c63d3e8639271c"],)" + meta("ssn", 1) + "}]";
  for (const char* value : {"123-45-6789", "123 45 6789", "123456789", " 123.45.6789 "}) {
    EXPECT_EQ(take(assets_from_ssn("person", "42", value)), ssn) << value;
  }
  const std::string phone = R"([{"fingerprints":["c22a92b649155065"],)" + meta("phone_number", 1) + "}]";
  for (const char* value : {"(555) 123-4567", "555.123.4567", "5551234567", "555 123 4567"}) {
    EXPECT_EQ(take(assets_from_phone_number("person", "42", value)), phone) << value;
  }
  // No digits: the fingerprint of the empty text.
  EXPECT_EQ(take(assets_from_ssn("person", "42", "n/a")),
            R"([{"fingerprints":["980acfd6a63af303"],)" + meta("ssn", 1) + "}]");
}

TEST(AssetExports, EmailIsHashedTwiceAfterCodeCleaning) {
  const std::string same = R"([{"fingerprints":["bd1ea8e9e5a5740f"],)" + meta("email_address", 1) + "}]";
  EXPECT_EQ(take(assets_from_email_address("person", "42", "john.doe@example.COM")), same);
  EXPECT_EQ(take(assets_from_email_address("person", "42", "JOHN.DOE@EXAMPLE.COM")), same);
  EXPECT_EQ(take(assets_from_email_address("person", "42", "johndoe@example.com")),
            R"([{"fingerprints":["013642fc63fbcfc3"],)" + meta("email_address", 1) + "}]");
  EXPECT_EQ(take(assets_from_email_address("person", "42", "john.doe+x@example.com")),
            R"([{"fingerprints":["5ae7066479cfad92"],)" + meta("email_address", 1) + "}]");
  // The address's own fingerprint never shows.
  EXPECT_EQ(same.find("9f23ded213a50c57"), std::string::npos);
}

TEST(AssetExports, AbsentOrInvalidInputGivesAnEmptyArray) {
  const std::string bad = "\xFF";
  const struct {
    const char* label;
    char* result;
  } cases[] = {
      {"email invalid", assets_from_email_address("p", "1", bad.c_str())},
      {"ssn invalid", assets_from_ssn("p", "1", bad.c_str())},
      {"phone invalid", assets_from_phone_number("p", "1", "555\xC3")},
      {"first invalid", assets_from_name("p", "1", bad.c_str(), nullptr, "DOE")},
      {"last invalid", assets_from_name("p", "1", "KEVIN", nullptr, bad.c_str())},
      {"address invalid", assets_from_address("p", "1", bad.c_str())},
      {"state invalid", assets_from_city_state_zip("p", "1", "AUSTIN", bad.c_str(), "Z")},
      {"empty middle", assets_from_name("p", "1", "KEVIN", "", "DOE")},
      {"empty first", assets_from_name("p", "1", "", nullptr, "DOE")},
      {"blank address", assets_from_address("p", "1", " ,. ")},
      {"null record type", assets_from_name(nullptr, "1", "KEVIN", nullptr, "DOE")},
      {"null record id", assets_from_address("p", nullptr, "1 MAIN ST")},
      {"null first", assets_from_name("p", "1", nullptr, "J", "DOE")},
      {"null last", assets_from_name("p", "1", "KEVIN", "J", nullptr)},
      {"null address", assets_from_address("p", "1", nullptr)},
      {"null city", assets_from_city_state_zip("p", "1", nullptr, "TX", "Z")},
      {"null state", assets_from_city_state_zip("p", "1", "AUSTIN", nullptr, "Z")},
      {"null zip", assets_from_city_state_zip("p", "1", "AUSTIN", "TX", nullptr)},
      {"null email", assets_from_email_address("p", "1", nullptr)},
      {"null ssn", assets_from_ssn("p", "1", nullptr)},
      {"null phone", assets_from_phone_number("p", "1", nullptr)},
      {"null record type (ssn)", assets_from_ssn(nullptr, "1", "123")},
  };
  for (const auto& c : cases) EXPECT_EQ(take(c.result), "[]") << c.label;
}

TEST(AssetExports, InvalidMiddleNameCountsAsAbsent) {
  EXPECT_EQ(take(assets_from_name("person", "42", "kevin", "\xE2\x82", "Doe")),
            take(assets_from_name("person", "42", "kevin", nullptr, "Doe")));
  EXPECT_EQ(variant_ids(take(assets_from_name("person", "42", "kevin", nullptr, "Doe"))), std::vector<int>{1});
}

TEST(AssetExports, MetadataPassesThroughUncleaned) {
  const char* type = "a \"b\"\\c\t";
  const char* id = "x\xFFy \xC3\xA9";
  const std::string expected_meta =
      R"("metadata":{"record_type":"a \"b\"\\c\t","record_id":"x)" "\xEF\xBF\xBD" R"(y )" "\xC3\xA9" R"(",)";
  // One asset, and several from variants (each must carry the same metadata).
  const std::string single = take(assets_from_ssn(type, id, "1"));
  EXPECT_NE(single.find(expected_meta), std::string::npos) << single;
  const std::string many = take(assets_from_name(type, id, "Kevin", "J", "Doe"));
  size_t found = 0;
  for (size_t at = many.find(expected_meta); at != std::string::npos;
       at = many.find(expected_meta, at + 1)) {
    ++found;
  }
  EXPECT_EQ(found, variant_ids(many).size()) << many;
  EXPECT_GT(found, 1u);
}

TEST(AssetExports, HugeAddressesStopAtTenThousandVariants) {
  std::string address;
  for (int i = 0; i < 20; ++i) address += "center ";
  const std::string out = take(assets_from_address("person", "42", address.c_str()));
  const auto ids = variant_ids(out);
  ASSERT_EQ(ids.size(), 10000u);
  EXPECT_EQ(ids.front(), 1);
  EXPECT_EQ(ids.back(), 10000);
}

TEST(AssetJson, ShapeAndOrder) {
  std::string out;
  korvi::assets::append_asset_json(Asset{}, out);
  EXPECT_EQ(out, R"({"fingerprints":[],"metadata":{}})");

  Asset asset;
  asset.fingerprints = {"00ff", "0a"};
  asset.add_metadata("k", "1");
  asset.add_metadata("k", "2");
  asset.add_metadata("ctl", "\x1F\x01\b\n");
  out.clear();
  korvi::assets::append_asset_json(asset, out);
  EXPECT_EQ(out, R"({"fingerprints":["00ff","0a"],"metadata":{"k":"1","k":"2","ctl":"\u001F\u0001\b\n"}})");
}

TEST(FingerprintLists, ShingledAndWhole) {
  using korvi::assets::fingerprints_from_string;
  using korvi::assets::raw_fingerprints_from_string;
  const uint32_t tiled_short = FINGERPRINT_TILED | FINGERPRINT_SHORT;
  EXPECT_EQ(fingerprints_from_string("abcde fghij", CLEAN_TEXT, tiled_short), std::nullopt);
  EXPECT_EQ(fingerprints_from_string("abcde, fghij", CLEAN_TEXT, tiled_short), std::nullopt);
  EXPECT_EQ(fingerprints_from_string("\xFF abcdefghijklmn", CLEAN_TEXT, tiled_short), std::nullopt);
  EXPECT_EQ(fingerprints_from_string("abcde fghijk", CLEAN_TEXT, tiled_short), Strings{"f6618d1f8662a4e6"});
  EXPECT_EQ(raw_fingerprints_from_string("", FINGERPRINT_SHORT), Strings{"980acfd6a63af303"});
  EXPECT_EQ(raw_fingerprints_from_string("5551234567", FINGERPRINT_SHORT), Strings{"c22a92b649155065"});
  // Whole-text hashing takes the bytes as they stand.
  EXPECT_NE(raw_fingerprints_from_string("abcde fghij", FINGERPRINT_SHORT),
            raw_fingerprints_from_string("ABCDE FGHIJ", FINGERPRINT_SHORT));
  EXPECT_EQ(raw_fingerprints_from_string("ABCDE FGHIJ", FINGERPRINT_SHORT), Strings{"cb8b7491a17ae0c1"});
}

}  // namespace
