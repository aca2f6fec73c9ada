#include <gtest/gtest.h>

#include <algorithm>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "variants/variants.h"

namespace {

using korvi::variants::AlternatesTable;
using korvi::variants::kAddressAlternates;
using korvi::variants::kNameAlternates;
using korvi::variants::kStateAlternates;
using korvi::variants::lookup_alternates;
using Words = std::vector<std::string_view>;

struct NamedTable {
  const char* name;
  const AlternatesTable* table;
};

const NamedTable kTables[] = {
    {"name", &kNameAlternates},
    {"address", &kAddressAlternates},
    {"state", &kStateAlternates},
};

Words lookup(const AlternatesTable& table, std::string_view word) {
  const auto group = lookup_alternates(table, word);
  return {group.begin(), group.end()};
}

// The reference lookup: a scan of every group's key.
Words scan(const AlternatesTable& table, std::string_view word) {
  for (size_t i = 0; i < table.group_count(); ++i) {
    const auto group = table.group(i);
    if (group[0] == word) return {group.begin(), group.end()};
  }
  return {};
}

TEST(AlternatesTables, KeysUniqueCoverEveryEntryAndMembershipIsSymmetric) {
  for (const auto& [name, table] : kTables) {
    SCOPED_TRACE(name);
    std::map<std::string_view, std::set<std::string_view>> groups;
    size_t entries = 0;
    for (size_t i = 0; i < table->group_count(); ++i) {
      const auto group = table->group(i);
      ASSERT_GE(group.size(), 2u) << "group " << i;
      const std::set<std::string_view> members(group.begin(), group.end());
      EXPECT_EQ(members.size(), group.size()) << "repeated entry in " << group[0];
      EXPECT_EQ(members.count(""), 0u) << "empty entry in " << group[0];
      EXPECT_TRUE(groups.emplace(group[0], members).second) << "second group keyed " << group[0];
      entries += group.size();
    }
    EXPECT_EQ(entries, table->entries.size());
    for (const auto& [key, members] : groups) {
      for (const auto member : members) {
        const auto other = groups.find(member);
        ASSERT_NE(other, groups.end()) << member << " (in " << key << ") has no group";
        EXPECT_EQ(other->second.count(key), 1u) << member << " is in " << key << " but not the reverse";
      }
    }
  }
}

TEST(AlternatesTables, LookupFindsWhatAScanFinds) {
  for (const auto& [name, table] : kTables) {
    SCOPED_TRACE(name);
    for (size_t i = 0; i < table->group_count(); ++i) {
      const std::string_view key = table->group(i)[0];
      EXPECT_EQ(lookup(*table, key), scan(*table, key)) << key;
      ASSERT_EQ(lookup(*table, key).front(), key);
      const std::string longer = std::string(key) + "A";
      EXPECT_EQ(lookup(*table, longer), scan(*table, longer)) << longer;
      const std::string_view shorter = key.substr(0, key.size() - 1);
      EXPECT_EQ(lookup(*table, shorter), scan(*table, shorter)) << shorter;
    }
  }
}

// Published FNV-1a 32-bit test vectors; the generator places keys with the
// same function, so a drift on either side would lose keys.
TEST(AlternatesTables, KeyHashIsFnv1a) {
  EXPECT_EQ(korvi::variants::key_hash(""), 0x811C9DC5u);
  EXPECT_EQ(korvi::variants::key_hash("a"), 0xE40C292Cu);
  EXPECT_EQ(korvi::variants::key_hash("foobar"), 0xBF9CF968u);
}

TEST(AlternatesTables, HashIndexHoldsEveryGroupOnceWithRoomToSpare) {
  for (const auto& [name, table] : kTables) {
    SCOPED_TRACE(name);
    const size_t slots = table->slots.size();
    EXPECT_TRUE(slots != 0 && (slots & (slots - 1)) == 0) << slots << " slots";
    EXPECT_GE(slots, 2 * table->group_count());
    std::vector<int> seen(table->group_count(), 0);
    for (uint16_t slot : table->slots) {
      if (slot == 0) continue;
      ASSERT_LE(slot, table->group_count());
      ++seen[slot - 1u];
    }
    EXPECT_EQ(std::count(seen.begin(), seen.end(), 1), static_cast<long>(seen.size()));
  }
}

TEST(AlternatesTables, LookupIsExactByteEquality) {
  const struct {
    const AlternatesTable* table;
    const char* word;
  } misses[] = {
      {&kNameAlternates, ""},      {&kNameAlternates, "mike"},     {&kNameAlternates, " MIKE"},
      {&kNameAlternates, "MIKE "}, {&kNameAlternates, "MARY ANN"}, {&kNameAlternates, "KEVIN"},
      {&kAddressAlternates, "123"}, {&kAddressAlternates, "st"},  {&kAddressAlternates, "ST "},
      {&kStateAlternates, "AE"},   {&kStateAlternates, "AA"},      {&kStateAlternates, "AP"},
      {&kStateAlternates, "TX "},  {&kStateAlternates, "tx"},      {&kStateAlternates, "ONTARIO"},
  };
  for (const auto& miss : misses) EXPECT_TRUE(lookup(*miss.table, miss.word).empty()) << miss.word;
}

TEST(AlternatesTables, AddressAndStateSizes) {
  EXPECT_EQ(kAddressAlternates.group_count(), 564u);
  EXPECT_EQ(kAddressAlternates.entries.size(), 1882u);
  std::map<size_t, size_t> sizes;
  for (size_t i = 0; i < kAddressAlternates.group_count(); ++i) ++sizes[kAddressAlternates.group(i).size()];
  const std::map<size_t, size_t> expected{{2, 252}, {3, 99}, {4, 92}, {5, 50}, {6, 42}, {7, 21}, {8, 8}};
  EXPECT_EQ(sizes, expected);

  EXPECT_EQ(kStateAlternates.group_count(), 118u);
  for (size_t i = 0; i < kStateAlternates.group_count(); ++i) EXPECT_EQ(kStateAlternates.group(i).size(), 2u);
  EXPECT_EQ(kNameAlternates.group_count(), 1274u);
}

TEST(AlternatesTables, AddressAndStateGroupsInStoredOrder) {
  const struct {
    const AlternatesTable* table;
    Words group;
  } cases[] = {
      {&kAddressAlternates, {"AVE", "AVEN", "AVNUE", "AVENU", "AVN", "AV", "AVENUE"}},
      {&kAddressAlternates, {"AVENUE", "AVEN", "AVNUE", "AVENU", "AVN", "AV", "AVE"}},
      {&kAddressAlternates, {"ST", "STRT", "STREET", "STR"}},
      {&kAddressAlternates, {"N", "NORTH"}},
      {&kAddressAlternates, {"CENTER", "CTR", "CENTRE", "CENTR", "CENT", "CNTR", "CEN", "CNTER"}},
      {&kAddressAlternates, {"PRK", "PARKS", "PARK"}},
      {&kAddressAlternates, {"XRDS", "CROSSROADS"}},
      {&kAddressAlternates, {"ALLEE", "ALLEY", "ALY", "ALLY"}},
      {&kStateAlternates, {"TX", "TEXAS"}},
      {&kStateAlternates, {"TEXAS", "TX"}},
      {&kStateAlternates, {"DISTRICT OF COLUMBIA", "DC"}},
      {&kStateAlternates, {"FM", "FEDERATED STATES OF MICRONESIA"}},
      {&kStateAlternates, {"NORTHERN MARIANA ISLANDS", "MP"}},
      {&kStateAlternates, {"PW", "PALAU"}},
  };
  for (const auto& c : cases) EXPECT_EQ(lookup(*c.table, c.group.front()), c.group);
}

TEST(NameTable, FixedGroupsAreExact) {
  const Words fixed[] = {
      {"JOHN", "JONATHAN", "NATHAN", "JOHNNY", "NATTY", "JOHANN", "IAN", "JACK", "NAT", "NATE", "THAN",
       "NATHANIEL", "JON", "JOCK"},
      {"JACK", "IAN", "NATHAN", "JOHNNY", "JOHANN", "JOHN", "JONATHAN", "JON", "JOCK"},
      {"MARY", "POLLY", "SUE", "ALMEDA", "SUSAN", "HANNAH", "SUSANNAH", "MITZI", "MIRIAM", "MIMI", "SUSIE",
       "MAMIE", "SUZ", "PAULA", "PAULINA", "SUKEY", "MOLLY", "MAE", "LINA"},
      {"WILLIAM", "MINA", "FRED", "BILLY", "WILHA", "WILBER", "WILMA", "WILSON", "WILBUR", "ROBERT", "BILL",
       "MINNIE", "WILIMENA", "WILL", "WILFRED", "WILHELMINA", "WILLIE"},
      {"BILL", "HOB", "BOBBY", "DOB", "MINA", "WILIMENA", "FRED", "BILLY", "WILHA", "WILBER", "RUPERT",
       "WILMA", "BOB", "WILL", "WILSON", "WILBUR", "DOBBIN", "ROBERT", "MINNIE", "ROBIN", "WILLIAM", "HOBKIN",
       "WILFRED", "ROBBY", "WILHELMINA", "WILLIE", "ROB"},
      {"ROBERT", "HOB", "BOBBY", "DOB", "ROBERTO", "BILLY", "RUPERT", "BOB", "WILLIAM", "DOBBIN", "ROB", "BILL",
       "ROBIN", "WILL", "HOBKIN", "ROBBY", "WILLIE"},
      {"BOB", "HOB", "BOBBY", "DOB", "ROBERTO", "BILLY", "RUPERT", "DOBBIN", "ROB", "BILL", "ROBIN", "HOBKIN",
       "ROBBY", "ROBERT"},
      {"MICHAEL", "MICKEY", "CHELLE", "MIKE", "MICAH", "MITCH", "MICK", "ISAAC", "MICA", "MICHELLE", "SHELLY",
       "IKE", "MICHE", "MITCHELL", "MICHA", "ZEKE"},
      {"JAMES", "BENJAMIN", "JIMMIE", "JAMIE", "BEN", "BENJY", "BENNIE", "JIM", "JIMMY", "JEM"},
      {"THOMAS", "TUCKER", "TUCK", "TOMMY", "THOM", "TOM"},
      {"CHARLES", "CHARLEY", "CHARLIE", "CHUCK", "CARL", "CHICK"},
      {"DANIEL", "SHERIDAN", "DANNY", "DAN", "SHER"},
      {"DAVID", "DAVE", "DAY", "DAVEY"},
      {"MARK", "MARCUS"},
      {"GEORGE", "GEORGINE"},
      {"GEORGE  GEORGINE", "       \t"},
      {"       \t", "GEORGE  GEORGINE"},
  };
  for (const auto& group : fixed) EXPECT_EQ(lookup(kNameAlternates, group.front()), group);
}

TEST(NameTable, MikeHasMichaelsNamesWithMickeySecond) {
  const Words mike = lookup(kNameAlternates, "MIKE");
  const Words michael = lookup(kNameAlternates, "MICHAEL");
  ASSERT_EQ(mike.size(), 16u);
  EXPECT_EQ(mike[0], "MIKE");
  EXPECT_EQ(mike[1], "MICKEY");
  EXPECT_EQ(std::set<std::string_view>(mike.begin(), mike.end()),
            std::set<std::string_view>(michael.begin(), michael.end()));
  EXPECT_NE(mike, michael);
}

TEST(NameTable, JackIsAProperPartOfJohn) {
  const Words jack = lookup(kNameAlternates, "JACK");
  const Words john = lookup(kNameAlternates, "JOHN");
  const std::set<std::string_view> john_set(john.begin(), john.end());
  for (const auto name : jack) EXPECT_EQ(john_set.count(name), 1u) << name;
  std::set<std::string_view> extra(john_set);
  for (const auto name : jack) extra.erase(name);
  EXPECT_EQ(extra, (std::set<std::string_view>{"NATTY", "NAT", "NATE", "THAN", "NATHANIEL"}));
}

TEST(NameTable, OddEntriesBehaveLikeNames) {
  const Words al = lookup(kNameAlternates, "AL");
  const std::set<std::string_view> al_set(al.begin(), al.end());
  EXPECT_EQ(al_set.count("ALABAMA"), 1u);
  EXPECT_EQ(al_set.count("BAMA"), 1u);
  for (const char* key : {"ETC.", "K.C.", "L.R.", "SEEALSOADELBERT", "SEEELEANORANDHELEN", "BERTIEORBIRDIE"}) {
    EXPECT_GE(lookup(kNameAlternates, key).size(), 2u) << key;
  }
  // Fixed keys stay out of groups they do not list.
  for (const char* key : {"MARCUS", "GEORGINE"}) {
    const Words group = lookup(kNameAlternates, key);
    ASSERT_EQ(group.size(), 2u) << key;
  }
}

TEST(NameTable, KeysAreTheListedNamesPlusTheTwoSpacedEntries) {
  // Spot checks across the alphabet, from the published key list.
  for (const char* key : {"AARON", "ABIAH", "CINDERLLA", "JR", "LENA", "ALLIE", "TONY", "ZUBIA", "ZOLLY"}) {
    EXPECT_FALSE(lookup(kNameAlternates, key).empty()) << key;
  }
  std::ifstream list(KORVI_SOURCE_DIR "/data/alternates/name_keys.txt");
  ASSERT_TRUE(list) << "cannot read the key list";
  std::set<std::string> listed{"GEORGE  GEORGINE", "       \t"};
  for (std::string line; std::getline(list, line);) {
    if (!line.empty() && line[0] != '#') listed.insert(line);
  }
  EXPECT_EQ(listed.size(), 1274u);
  std::set<std::string> keys;
  for (size_t i = 0; i < kNameAlternates.group_count(); ++i) keys.emplace(kNameAlternates.group(i)[0]);
  EXPECT_EQ(keys, listed);
  const Words tony = lookup(kNameAlternates, "TONY");
  const std::set<std::string_view> tony_set(tony.begin(), tony.end());
  EXPECT_EQ(tony_set.count("ANTHONY"), 1u);
  EXPECT_EQ(tony_set.count("ANTOINETTE"), 1u);
}

TEST(NameTable, RegeneratingGivesTheCheckedInSource) {
  const std::filesystem::path python = "/usr/bin/python3";
  if (!std::filesystem::exists(python)) GTEST_SKIP() << "no /usr/bin/python3";
  const std::string command = python.string() + " " KORVI_SOURCE_DIR "/lib/variants/generate_tables.py --check 2>&1";
  FILE* pipe = popen(command.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  std::string output;
  char buffer[256];
  while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) output += buffer;
  const int status = pclose(pipe);
  EXPECT_EQ(status, 0) << output;
}

}  // namespace
