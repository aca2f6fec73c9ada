// Running out of memory gives a NULL (or false) result, never the end of the
// process. Each case runs in a child process with a capped address space.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "json/json_test_util.h"

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define KORVI_CAPPED_MEMORY_WORKS 0  // the sanitizers' shadow memory needs the address space
#else
#define KORVI_CAPPED_MEMORY_WORKS 1
#endif

namespace korvi::json::testing {
namespace {

// Leaves room for `spare` more bytes of address space than in use now.
void cap_address_space(size_t spare) {
  unsigned long pages = 0;
  FILE* statm = std::fopen("/proc/self/statm", "r");
  if (statm == nullptr || std::fscanf(statm, "%lu", &pages) != 1) std::_Exit(3);
  std::fclose(statm);
  rlim_t limit = pages * 4096 + spare;
  rlimit cap{limit, limit};
  if (setrlimit(RLIMIT_AS, &cap) != 0) std::_Exit(3);
}

class JsonMemory : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!KORVI_CAPPED_MEMORY_WORKS)
      GTEST_SKIP() << "address space cannot be capped under sanitizers";
    GTEST_FLAG_SET(death_test_style, "fast");
  }
};

TEST_F(JsonMemory, DecodeGivesNull) {
  constexpr size_t kDepth = 10'000'000;  // some 700 MB of nodes and frames
  std::string text = std::string(kDepth, '[') + std::string(kDepth, ']');
  EXPECT_EXIT(
      {
        cap_address_space(64 << 20);
        JsonNode* tree = json_decode(text.c_str());
        std::_Exit(tree == nullptr ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}

TEST_F(JsonMemory, WritersAndCheckGiveNull) {
  constexpr int kDepth = 1'000'000;
  std::string text = std::string(kDepth, '[') + std::string(kDepth, ']');
  Tree tree(json_decode(text.c_str()));
  ASSERT_TRUE(tree);
  std::string wide(1 << 20, ' ');
  EXPECT_EXIT(
      {
        cap_address_space(16 << 20);
        // Indenting by a megabyte per level needs terabytes.
        char* indented = json_stringify(tree.get(), wide.c_str());
        std::_Exit(indented == nullptr ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
  EXPECT_EXIT(
      {
        cap_address_space(1 << 20);
        char message[256] = "";
        bool consistent = json_check(tree.get(), message);  // 24 MB of walk frames
        std::_Exit(!consistent && std::string(message) == "out of memory" ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace korvi::json::testing
