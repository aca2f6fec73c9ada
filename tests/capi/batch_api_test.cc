// The batch export through the shared library: layout of the answer,
// blank-cell rules, agreement with the one-record exports, refusals.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "korvi/korvi.h"

namespace {

// Texts back to back with their offsets, as the export takes them.
struct Column {
  std::string bytes;
  std::vector<uint64_t> offsets{0};
  explicit Column(std::initializer_list<std::string> texts) {
    for (const std::string& text : texts) {
      bytes += text;
      offsets.push_back(bytes.size());
    }
  }
  KorviTextColumn view() const { return {bytes.data(), offsets.data()}; }
};

struct Batch {
  KorviAssetBatch* answer;
  explicit Batch(KorviAssetBatch* a) : answer(a) {}
  ~Batch() { korvi_free(answer); }
  std::string hex(uint64_t i) const { return std::string(answer->hex + 17 * i, 16); }
};

// hashlib: sha512 of the digits (and of the hex text of the upper-cased
// address's fingerprint) with the salt, first 16 hex digits.
const char kSsn[] = "63c63d3e8639271c";    // "123456789"
const char kPhone[] = "0b59cf50270ea7b8";  // "5550100"
const char kEmail[] = "f13dd09e674f51a8";  // "BOB@EXAMPLE.COM"

TEST(AssetsBatch, SingleValueFieldsWithBlankRows) {
  const Column ssn({"123-45-6789", " \t", "", "123456789"});
  const KorviTextColumn columns[] = {ssn.view()};
  const Batch batch(korvi_assets_batch("ssn", 4, columns, 1, 0));
  ASSERT_NE(batch.answer, nullptr);
  EXPECT_EQ(batch.answer->rows, 4u);
  EXPECT_EQ(batch.answer->assets, 2u);
  EXPECT_EQ(batch.answer->fingerprints, 2u);
  EXPECT_EQ(std::vector<uint32_t>(batch.answer->assets_per_row, batch.answer->assets_per_row + 4),
            (std::vector<uint32_t>{1, 0, 0, 1}));
  EXPECT_EQ(batch.answer->variant_ids[0], 1u);
  EXPECT_EQ(batch.answer->fingerprints_per_asset[1], 1u);
  EXPECT_EQ(batch.hex(0), kSsn);
  EXPECT_EQ(batch.hex(1), kSsn);
  EXPECT_EQ(batch.answer->hex[34], '\0');
  EXPECT_EQ(batch.answer->words[0], std::strtoull(kSsn, nullptr, 16));

  const Column phone({"(555) 0100"}), email({"Bob@Example.com"});
  const KorviTextColumn phones[] = {phone.view()}, emails[] = {email.view()};
  EXPECT_EQ(Batch(korvi_assets_batch("phone_number", 1, phones, 1, 0)).hex(0), kPhone);
  EXPECT_EQ(Batch(korvi_assets_batch("email_address", 1, emails, 1, 0)).hex(0), kEmail);
}

TEST(AssetsBatch, NamesAgreeWithTheOneRecordExport) {
  const Column first({"Robert", "", "José"}), middle({"J", "Ann", " "}), last({"Smith", "", "Müller"});
  const KorviTextColumn columns[] = {first.view(), middle.view(), last.view()};
  const Batch batch(korvi_assets_batch("name", 3, columns, 3, 0));
  const Batch distinct(korvi_assets_batch("name", 3, columns, 3, KORVI_BATCH_DISTINCT));
  ASSERT_NE(batch.answer, nullptr);
  ASSERT_NE(distinct.answer, nullptr);
  // Row 1 has only a middle name: fingerprinted, but a name needs first and last.
  EXPECT_EQ(batch.answer->assets_per_row[1], 0u);
  const char* json[] = {assets_from_name("p", "1", "Robert", "J", "Smith"),
                        assets_from_name("p", "3", "José", nullptr, "Müller")};
  uint64_t asset = 0, print = 0;
  for (int row : {0, 2}) {
    const std::string text = json[row / 2];
    size_t at = 0;
    for (uint32_t a = 0; a < batch.answer->assets_per_row[row]; ++a, ++asset) {
      const std::string id = "\"variant_id\":\"" + std::to_string(batch.answer->variant_ids[asset]) + "\"";
      for (uint32_t f = 0; f < batch.answer->fingerprints_per_asset[asset]; ++f, ++print) {
        at = text.find(batch.hex(print), at);
        ASSERT_NE(at, std::string::npos) << "row " << row << " fingerprint " << batch.hex(print);
      }
      at = text.find(id, at);
      ASSERT_NE(at, std::string::npos) << "row " << row << " " << id;
      at += id.size();
    }
    EXPECT_EQ(text.find("variant_id", at), std::string::npos) << "assets missing from row " << row;
  }
  EXPECT_EQ(print, batch.answer->fingerprints);
  korvi_free(const_cast<char*>(json[0]));
  korvi_free(const_cast<char*>(json[1]));
  // One sorted, distinct group per row that has any.
  EXPECT_EQ(distinct.answer->assets, 2u);
  for (uint64_t i = 1; i < distinct.answer->fingerprints; ++i) {
    if (i == distinct.answer->fingerprints_per_asset[0]) continue;  // the second row's group starts
    EXPECT_LT(distinct.answer->words[i - 1], distinct.answer->words[i]);
  }
}

TEST(AssetsBatch, RefusalsAndEmptyInput) {
  const Column ssn({"1", "2"});
  const KorviTextColumn columns[] = {ssn.view()};
  EXPECT_EQ(korvi_assets_batch(nullptr, 2, columns, 1, 0), nullptr);
  EXPECT_EQ(korvi_assets_batch("ssn", 2, nullptr, 1, 0), nullptr);
  EXPECT_EQ(korvi_assets_batch("nickname", 2, columns, 1, 0), nullptr);
  EXPECT_EQ(korvi_assets_batch("name", 2, columns, 1, 0), nullptr);
  const uint64_t backwards[] = {0, 1, 0};
  const KorviTextColumn bad[] = {{"12", backwards}};
  EXPECT_EQ(korvi_assets_batch("ssn", 2, bad, 1, 0), nullptr);
  const Batch empty(korvi_assets_batch("ssn", 0, nullptr, 1, 0));
  ASSERT_NE(empty.answer, nullptr);
  EXPECT_EQ(empty.answer->rows + empty.answer->assets + empty.answer->fingerprints, 0u);
  EXPECT_EQ(empty.answer->hex[0], '\0');
  const KorviTextColumn absent[] = {{nullptr, nullptr}};
  const Batch none(korvi_assets_batch("ssn", 2, absent, 1, 0));
  ASSERT_NE(none.answer, nullptr);
  EXPECT_EQ(none.answer->assets, 0u);
}

}  // namespace
