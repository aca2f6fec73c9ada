#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/utf8.h"
#include "variants/variants.h"

namespace {

using korvi::variants::address_variants;
using korvi::variants::city_state_zip_variants;
using korvi::variants::full_name_variants;
using korvi::variants::join_product;
using korvi::variants::split_words;
using Lines = std::vector<std::string>;
using std::nullopt;

TEST(FullNameVariants, NameOutsideTheTableGivesTwoOrSixForms) {
  EXPECT_EQ(full_name_variants("KEVIN", nullopt, "DOE"), (Lines{" KEVIN DOE ", " DOE, KEVIN "}));
  EXPECT_EQ(full_name_variants("KEVIN", "JAMES", "DOE"),
            (Lines{" KEVIN DOE ", " DOE, KEVIN ", " KEVIN JAMES DOE ", " DOE, KEVIN JAMES ", " KEVIN J DOE ",
                   " DOE, KEVIN J "}));
  // Two words are not a key: the name stands alone.
  EXPECT_EQ(full_name_variants("MARY ANN", nullopt, "LEE"), (Lines{" MARY ANN LEE ", " LEE, MARY ANN "}));
}

TEST(FullNameVariants, EveryAlternativeInTableOrder) {
  const auto mike = full_name_variants("MIKE", nullopt, "ROSS");
  ASSERT_TRUE(mike);
  ASSERT_EQ(mike->size(), 32u);
  EXPECT_EQ((Lines{mike->begin(), mike->begin() + 4}),
            (Lines{" MIKE ROSS ", " ROSS, MIKE ", " MICKEY ROSS ", " ROSS, MICKEY "}));

  const char* bob_group[] = {"BOB",    "HOB", "BOBBY", "DOB",  "ROBERTO", "BILLY",  "RUPERT",
                             "DOBBIN", "ROB", "BILL",  "ROBIN", "HOBKIN", "ROBBY", "ROBERT"};
  Lines expected;
  for (const char* g : bob_group) {
    expected.push_back(std::string(" ") + g + " SMITH ");
    expected.push_back(std::string(" SMITH, ") + g + " ");
  }
  EXPECT_EQ(full_name_variants("BOB", nullopt, "SMITH"), expected);

  const auto david = full_name_variants("DAVID", "LEE", "JONES");
  ASSERT_TRUE(david);
  ASSERT_EQ(david->size(), 24u);
  EXPECT_EQ((*david)[6], " DAVE JONES ");
  EXPECT_EQ((*david)[23], " JONES, DAVEY L ");
}

TEST(FullNameVariants, RejectedInputs) {
  EXPECT_EQ(full_name_variants("KEVIN", "", "DOE"), nullopt);
  EXPECT_EQ(full_name_variants("", nullopt, "DOE"), nullopt);
  EXPECT_EQ(full_name_variants(nullopt, nullopt, "DOE"), nullopt);
  EXPECT_EQ(full_name_variants("KEVIN", nullopt, ""), nullopt);
  EXPECT_EQ(full_name_variants("KEVIN", nullopt, nullopt), nullopt);
  // The empty middle name rejects even a name whose other parts are absent.
  EXPECT_EQ(full_name_variants(nullopt, "", nullopt), nullopt);
}

TEST(FullNameVariants, MiddleNameEdgeCases) {
  // A one-letter middle name repeats formats 3 and 4 as 5 and 6.
  EXPECT_EQ(full_name_variants("KEVIN", "A", "DOE"),
            (Lines{" KEVIN DOE ", " DOE, KEVIN ", " KEVIN A DOE ", " DOE, KEVIN A ", " KEVIN A DOE ",
                   " DOE, KEVIN A "}));
  // A middle name that cleaned to one space is present: runs of spaces remain.
  EXPECT_EQ(full_name_variants("KEVIN", " ", "DOE"),
            (Lines{" KEVIN DOE ", " DOE, KEVIN ", " KEVIN   DOE ", " DOE, KEVIN   ", " KEVIN   DOE ",
                   " DOE, KEVIN   "}));
}

TEST(FullNameVariants, NonAsciiInitialIsAWholeCharacter) {
  const struct {
    const char* middle;
    const char* initial;
  } cases[] = {
      {"\xC3\x89MILE", "\xC3\x89"},                 // É: two bytes
      {"\xE5\xB1\xB1\xE7\x94\xB0", "\xE5\xB1\xB1"},  // 山田: three bytes
      {"\xF0\x90\x90\x80X", "\xF0\x90\x90\x80"},     // U+10400: four bytes
  };
  for (const auto& c : cases) {
    const auto lines = full_name_variants("KEVIN", c.middle, "DOE");
    ASSERT_TRUE(lines);
    ASSERT_EQ(lines->size(), 6u);
    EXPECT_EQ((*lines)[4], std::string(" KEVIN ") + c.initial + " DOE ");
    EXPECT_EQ((*lines)[5], std::string(" DOE, KEVIN ") + c.initial + " ");
    for (const auto& line : *lines) EXPECT_TRUE(korvi::base::is_valid_utf8(line)) << line;
  }
}

TEST(SplitWords, OnlyTheSpaceByteSeparates) {
  using Words = std::vector<std::string_view>;
  EXPECT_EQ(split_words(""), Words{});
  EXPECT_EQ(split_words("    "), Words{});
  EXPECT_EQ(split_words(" 12  MAIN ST "), (Words{"12", "MAIN", "ST"}));
  EXPECT_EQ(split_words("A\tB C"), (Words{"A\tB", "C"}));
}

TEST(JoinProduct, MixedRadixOrderAndEdgeCases) {
  using List = std::vector<std::string_view>;
  EXPECT_EQ(join_product({}), nullopt);
  const List one[] = {{"A", "B"}};
  EXPECT_EQ(join_product(one), (Lines{"A", "B"}));
  const List three[] = {{"A", "B"}, {"1"}, {"X", "Y", "Z"}};
  EXPECT_EQ(join_product(three), (Lines{"A 1 X", "A 1 Y", "A 1 Z", "B 1 X", "B 1 Y", "B 1 Z"}));
  const List with_empty[] = {{"A", "B"}, {}, {"X"}};
  EXPECT_EQ(join_product(with_empty), Lines{});
  EXPECT_EQ(join_product(three, 4), (Lines{"A 1 X", "A 1 Y", "A 1 Z", "B 1 X"}));
}

TEST(AddressVariants, WorkedExamples) {
  EXPECT_EQ(address_variants("123 N MAIN ST"),
            (Lines{"123 N MAIN ST", "123 N MAIN STRT", "123 N MAIN STREET", "123 N MAIN STR", "123 NORTH MAIN ST",
                   "123 NORTH MAIN STRT", "123 NORTH MAIN STREET", "123 NORTH MAIN STR"}));
  EXPECT_EQ(address_variants("AVE"), (Lines{"AVE", "AVEN", "AVNUE", "AVENU", "AVN", "AV", "AVENUE"}));
  EXPECT_EQ(address_variants(" 9  ELM   LOOPY "), (Lines{"9 ELM LOOPY"}));
  // A tab does not separate words, so the word is unknown.
  EXPECT_EQ(address_variants("N\tST"), (Lines{"N\tST"}));

  const auto st_st = address_variants("ST ST");
  ASSERT_TRUE(st_st);
  ASSERT_EQ(st_st->size(), 16u);
  const char* forms[] = {"ST", "STRT", "STREET", "STR"};
  for (size_t i = 0; i < 16; ++i) {
    EXPECT_EQ((*st_st)[i], std::string(forms[i / 4]) + " " + forms[i % 4]);
  }
}

TEST(AddressVariants, NoWordsGivesNothing) {
  EXPECT_EQ(address_variants(""), nullopt);
  EXPECT_EQ(address_variants("   "), nullopt);
  EXPECT_EQ(address_variants(nullopt), nullopt);
}

TEST(AddressVariants, HugeProductsStopAtTheCap) {
  // Twenty words of the eight-form CENTER class would make 8^20 lines.
  std::string address;
  for (int i = 0; i < 20; ++i) address += i ? " CENTER" : "CENTER";
  const auto lines = address_variants(address);
  ASSERT_TRUE(lines);
  ASSERT_EQ(lines->size(), korvi::variants::kMaxAddressVariants);
  EXPECT_EQ(lines->front(), address);
  // Line 10000 is number 9999 counted from 0: in base 8, ...0 2 3 4 1 7 over
  // the last five words (CENTER, CTR, CENTRE, CENTR, CENT, CNTR, CEN, CNTER).
  std::string last;
  for (int i = 0; i < 15; ++i) last += "CENTER ";
  last += "CENTRE CENTR CENT CTR CNTER";
  EXPECT_EQ(lines->back(), last);
}

TEST(CityStateZipVariants, StateFormsGivenFormFirst) {
  EXPECT_EQ(city_state_zip_variants("AUSTIN", "TX", "Z"), (Lines{" AUSTIN TX Z ", " AUSTIN TEXAS Z "}));
  EXPECT_EQ(city_state_zip_variants("AUSTIN", "TEXAS", "Z"), (Lines{" AUSTIN TEXAS Z ", " AUSTIN TX Z "}));
  EXPECT_EQ(city_state_zip_variants("NEW YORK", "NEW YORK", "10001"),
            (Lines{" NEW YORK NEW YORK 10001 ", " NEW YORK NY 10001 "}));
  EXPECT_EQ(city_state_zip_variants("WASHINGTON", "DC", "20001 1234"),
            (Lines{" WASHINGTON DC 20001 1234 ", " WASHINGTON DISTRICT OF COLUMBIA 20001 1234 "}));
}

TEST(CityStateZipVariants, UnknownOrEmptyParts) {
  EXPECT_EQ(city_state_zip_variants("TORONTO", "ONTARIO", "M5V"), (Lines{" TORONTO ONTARIO M5V "}));
  EXPECT_EQ(city_state_zip_variants("APO", "AE", "09001"), (Lines{" APO AE 09001 "}));
  EXPECT_EQ(city_state_zip_variants("AUSTIN", "TX ", "Z"), (Lines{" AUSTIN TX  Z "}));
  EXPECT_EQ(city_state_zip_variants("", "TX", "Z"), (Lines{"  TX Z ", "  TEXAS Z "}));
  EXPECT_EQ(city_state_zip_variants("AUSTIN", "", "Z"), (Lines{" AUSTIN  Z "}));
  EXPECT_EQ(city_state_zip_variants(nullopt, "TX", "Z"), nullopt);
  EXPECT_EQ(city_state_zip_variants("AUSTIN", nullopt, "Z"), nullopt);
  EXPECT_EQ(city_state_zip_variants("AUSTIN", "TX", nullopt), nullopt);
}

}  // namespace
