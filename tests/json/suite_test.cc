// Conformance inputs: every file of the suite, read whole and zero-terminated,
// is accepted or rejected as expected.txt says, by decoding and validating
// alike; accepted texts settle after one write.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "json/json_test_util.h"

namespace korvi::json::testing {
namespace {

const std::string kSuite = KORVI_SOURCE_DIR "/tests/json/jsontestsuite/";

struct Expectation {
  std::string file;
  bool accept;
};

std::vector<Expectation> expectations() {
  std::ifstream list(kSuite + "expected.txt");
  std::vector<Expectation> result;
  std::string line;
  while (std::getline(list, line)) {
    if (line.empty()) continue;
    size_t tab = line.find('\t');
    if (tab == std::string::npos) {
      ADD_FAILURE() << "malformed line: " << line;
      continue;
    }
    std::string verdict = line.substr(tab + 1);
    EXPECT_TRUE(verdict == "accept" || verdict == "reject") << line;
    result.push_back({line.substr(0, tab), verdict == "accept"});
  }
  return result;
}

std::string read_whole(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  EXPECT_TRUE(in) << path;
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(JsonSuite, EveryFileAsExpected) {
  std::vector<Expectation> all = expectations();
  ASSERT_EQ(all.size(), 318u);
  int accepted = 0;
  for (const Expectation& e : all) {
    SCOPED_TRACE(e.file);
    std::string text = read_whole(kSuite + e.file);  // c_str() adds the zero byte
    bool valid = json_validate(text.c_str());
    Tree tree(json_decode(text.c_str()));
    EXPECT_EQ(valid, e.accept);
    EXPECT_EQ(tree != nullptr, e.accept);
    if (!tree) continue;
    ++accepted;
    EXPECT_TRUE(json_check(tree.get(), nullptr));
    auto first = encode(tree.get());
    ASSERT_TRUE(first);
    EXPECT_TRUE(json_validate(first->c_str()));
    auto second = reencode(*first);
    EXPECT_EQ(second, first);
  }
  EXPECT_EQ(accepted, 105);
}

// Files named y_ are valid JSON and n_ invalid; expected.txt departs from that
// only where its README says, so a changed list is noticed.
TEST(JsonSuite, VerdictsFollowFileNamesExceptTheDocumentedThree) {
  std::vector<std::string> departures;
  for (const Expectation& e : expectations()) {
    char kind = e.file[0];
    if ((kind == 'y' && !e.accept) || (kind == 'n' && e.accept)) departures.push_back(e.file);
  }
  EXPECT_EQ(departures, (std::vector<std::string>{"n_multidigit_number_then_00.json",
                                                  "y_object_escaped_null_in_key.json",
                                                  "y_string_null_escape.json"}));
}

}  // namespace
}  // namespace korvi::json::testing
