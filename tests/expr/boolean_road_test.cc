// Expressions whose operands become their fingerprints: the boolean road's
// envelopes, and the exported walk over trees from boolean_parse.
#include "expr/boolean_road.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <string_view>

#include "korvi/common.h"
#include "korvi/expr.h"
#include "korvi/json.h"

namespace korvi::expr {
namespace {

// Expected fingerprints, printed by print_expected.py (hashlib).
// RED BALLOONS FLY
constexpr std::string_view kBalloons =
    R"(["520f5dca7a6fa7bbbb67837638166e6adf65d0cc893e7546cfa546a643d8f90e","7e16e4906d21b69af2e3ef0990df7759e607c3af229fb8c5abd9595a01e471f1","b59300f53c4065b782e15f30aabd726a5c1e9cca21aa0fedc03bfb8c74abc5ab"])";
// RED BALLOONS FLY, short
constexpr std::string_view kBalloonsShort =
    R"(["520f5dca7a6fa7bb","7e16e4906d21b69a","b59300f53c4065b7"])";
// TWELVE CHARS
constexpr std::string_view kTwelve =
    R"(["1b2fa4532f5be47de68de3e4f76d9a1cf8c4f1e2cdd989d8d8aa71849450b96d"])";
// ABCDEFGHIJKLMNOPQRSTUVWXYZ012, tiled
constexpr std::string_view kAlphabetTiles =
    R"(["60a71b42b3f3b8b76352311d9ea6955b9262d42fcb94b6548df03ad423572896","871b545c34d6bcf710cc9f6f719ec5c7598242fd1d9f901eb2d9650f8f9a7292","9f62db2e1eec5c89a56d139b7c71245a2734dbf7e3207cb848280a5504fc2046"])";
// ABCDEFGHIJKLMNOPQRSTUVWXYZ012, tiled, short
constexpr std::string_view kAlphabetTilesShort =
    R"(["60a71b42b3f3b8b7","871b545c34d6bcf7","9f62db2e1eec5c89"])";
// 55512345678901
constexpr std::string_view kPhoneDigits =
    R"(["d4c64f459d10d6120fcbb1ad50243496bbce384568283af24bc8dc5209c1a857"])";
// 555 123 4567 8901
constexpr std::string_view kPhoneText =
    R"(["1ff9343ab46f2022dca0858d04f7e713cffb7561609edf9f8c3ae133352d656e","45419a74e188dba41166dfc7fee6591a6e221818c3ed369460ac58b9807543aa","813f3478b40ad203977a1f2dc5df4498f6f24d5b0c1f26d0e3aca7cdb9be0d00","f32043a4401577a63ba33588dff10fb177f93076cd8f852ad3bb1348346c1f59"])";

constexpr std::string_view kFailedUtf8 = R"({"success":false,"error":"Failed utf8 conversion"})";

std::string success(std::string_view data) {
  return R"({"success":true,"data":)" + std::string(data) + "}";
}

std::string op(std::string_view name, std::string_view left, std::string_view right) {
  return R"({"operator":")" + std::string(name) + R"(","operands":[)" + std::string(left) + "," +
         std::string(right) + "]}";
}

struct RoadCase {
  const char* name;
  const char* text;
  int clean_mode;
  uint32_t flags;
  int32_t status;
  std::string envelope;
};

TEST(BooleanRoad, ReplacesOperandsByFingerprints) {
  constexpr uint32_t B = FINGERPRINT_BOOLEAN;
  const RoadCase cases[] = {
      {"one operand: the root becomes the array", "\"red balloons fly\"", CLEAN_TEXT, B, 0,
       success(kBalloons)},
      {"raw is ignored", "\"red balloons fly\"", CLEAN_TEXT, B | FINGERPRINT_RAW, 0,
       success(kBalloons)},
      {"short", "\"red balloons fly\"", CLEAN_TEXT, B | FINGERPRINT_SHORT, 0,
       success(kBalloonsShort)},
      {"operator names stay, operands in order", "\"RED BALLOONS FLY\" or \"twelve chars\"",
       CLEAN_TEXT, B, 0, success(op("OR", kBalloons, kTwelve))},
      {"twelve code points are padded", "\"twelve  chars\"", CLEAN_TEXT, B, 0, success(kTwelve)},
      {"tiled", "ABCDEFGHIJKLMNOPQRSTUVWXYZ012 - \"twelve chars\"", CLEAN_TEXT,
       B | FINGERPRINT_TILED, 0, success(op("AND_NOT", kAlphabetTiles, kTwelve))},
      {"tiled and short", "(abcdefghijklmnopqrstuvwxyz012)", CLEAN_TEXT,
       B | FINGERPRINT_TILED | FINGERPRINT_SHORT | FINGERPRINT_RAW, 0,
       success(kAlphabetTilesShort)},
      {"two identical operands", "\"red balloons fly\" \"RED BALLOONS FLY\"", CLEAN_TEXT, B, 0,
       success(op("AND", kBalloons, kBalloons))},
      {"clean mode reaches the operands", "\"555-123-4567/8901\"", CLEAN_DIGITS, B, 0,
       success(kPhoneDigits)},
      {"clean mode text", "\"555-123-4567/8901\"", CLEAN_TEXT, B, 0, success(kPhoneText)},
      {"too short reads as a failed conversion", "\"RED BALLOONS FLY\" OR PEARS", CLEAN_TEXT, B, 2,
       std::string(kFailedUtf8)},
      {"too short first", "PEARS OR \"RED BALLOONS FLY\"", CLEAN_TEXT, B | FINGERPRINT_RAW, 2,
       std::string(kFailedUtf8)},
      {"one short operand", "a", CLEAN_TEXT, B, 2, std::string(kFailedUtf8)},
      {"empty quoted operand", "\"RED BALLOONS FLY\" \"\"", CLEAN_TEXT, B, 2,
       std::string(kFailedUtf8)},
      {"ill-formed UTF-8", "\"RED BALLOONS FLY\xC0\xAF\"", CLEAN_TEXT, B, 2,
       std::string(kFailedUtf8)},
      {"parse only keeps short operands", "a OR b", CLEAN_TEXT, B | FINGERPRINT_PARSE_ONLY, 0,
       success(R"({"operator":"OR","operands":["a","b"]})")},
      {"parse only with every other flag", "\"red balloons fly\"", CLEAN_DIGITS,
       B | FINGERPRINT_PARSE_ONLY | FINGERPRINT_RAW | FINGERPRINT_TILED | FINGERPRINT_SHORT, 0,
       success(R"("red balloons fly")")},
  };
  for (const RoadCase& c : cases) {
    std::string envelope = "left over";
    EXPECT_EQ(boolean_road(c.text, c.clean_mode, c.flags, envelope), c.status) << c.name;
    EXPECT_EQ(envelope, c.envelope) << c.name;
  }
}

// The exported walk over a parsed tree; returns its compact text and status.
std::string walked(const char* text, uint32_t flags, int32_t& status) {
  JsonNode* tree = boolean_parse(text);
  FingerprintResult result{STATUS_OK, nullptr};
  shingle_boolean_parse_result(tree, CLEAN_TEXT, flags, &result);
  status = result.status;
  char* encoded = json_encode(tree);
  std::string out = encoded != nullptr ? encoded : "<null>";
  std::free(encoded);
  json_delete(tree);
  return out;
}

TEST(BooleanRoad, ExportedWalkAgreesWithTheRoad) {
  const char* const texts[] = {
      "\"red balloons fly\"",
      "(\"red balloons fly\" - \"twelve chars\") OR ABCDEFGHIJKLMNOPQRSTUVWXYZ012",
      "\"twelve chars\" (\"red balloons fly\" \"555-123-4567/8901\")",
  };
  for (const char* text : texts) {
    for (uint32_t flags : {0u, FINGERPRINT_SHORT, FINGERPRINT_TILED | FINGERPRINT_RAW}) {
      std::string envelope;
      ASSERT_EQ(boolean_road(text, CLEAN_TEXT, FINGERPRINT_BOOLEAN | flags, envelope), 0);
      int32_t status = -1;
      EXPECT_EQ(success(walked(text, flags, status)), envelope) << text << " " << flags;
      EXPECT_EQ(status, STATUS_OK);
    }
  }
}

TEST(BooleanRoad, WalkVisitsEveryOperandLeftToRight) {
  int32_t status = -1;
  // After the first failure nothing more is hashed; the arrays stay empty.
  EXPECT_EQ(walked("\"red balloons fly\" OR PEARS - \"twelve chars\"", 0, status),
            op("AND_NOT", op("OR", kBalloons, "[]"), "[]"));
  EXPECT_EQ(status, STATUS_BAD_UTF8);
  EXPECT_EQ(walked("PEARS OR \"red balloons fly\"", 0, status), op("OR", "[]", "[]"));
  EXPECT_EQ(status, STATUS_BAD_UTF8);
}

TEST(BooleanRoad, WalkTouchesOnlyOperands) {
  // Arrays are walked element by element and objects through "operands"
  // only: nested arrays, numbers and other members are left as they are.
  JsonNode* root = json_mkarray();
  json_append_element(root, json_mkstring("red balloons fly"));
  JsonNode* inner = json_mkarray();
  json_append_element(inner, json_mkstring("kept as it is"));
  json_append_element(root, inner);
  json_append_element(root, json_mknumber(5));
  JsonNode* object = json_mkobject();
  json_append_member(object, "note", json_mkstring("kept as well"));
  json_append_member(object, "operands", json_mkstring("twelve chars"));
  json_append_element(root, object);
  json_append_element(root, create_operator("OR", json_mkstring("twelve chars"), json_mknull()));

  FingerprintResult result{STATUS_OK, nullptr};
  shingle_boolean_parse_result(root, CLEAN_TEXT, 0, &result);
  EXPECT_EQ(result.status, STATUS_OK);
  char* encoded = json_encode(root);
  EXPECT_EQ(std::string(encoded), "[" + std::string(kBalloons) + R"(,["kept as it is"],5,)" +
                                      R"({"note":"kept as well","operands":)" +
                                      std::string(kTwelve) + "}," + op("OR", kTwelve, "null") +
                                      "]");
  std::free(encoded);
  json_delete(root);
}

TEST(BooleanRoad, ReplaceStringKeepsThePlaceAndRaisesTheStatus) {
  JsonNode* tree = boolean_parse("x \"twelve chars\" y");
  JsonNode* middle = json_find_element(json_find_member(tree, "operands"), 0);
  middle = json_find_element(json_find_member(middle, "operands"), 1);
  ASSERT_NE(middle, nullptr);

  FingerprintResult result{STATUS_OK, nullptr};
  shingle_replace_string(middle, CLEAN_TEXT, 0, &result);
  EXPECT_EQ(result.status, STATUS_OK);
  char* encoded = json_encode(tree);
  EXPECT_EQ(std::string(encoded), op("AND", op("AND", R"("x")", kTwelve), R"("y")"));
  std::free(encoded);

  // A status that is already raised means nothing is hashed; it ends as 2.
  JsonNode* last = json_find_element(json_find_member(tree, "operands"), 1);
  result.status = STATUS_TOO_SHORT;
  shingle_replace_string(last, CLEAN_TEXT, 0, &result);
  EXPECT_EQ(result.status, STATUS_BAD_UTF8);
  EXPECT_EQ(last->tag, JSON_ARRAY);
  EXPECT_EQ(last->head, nullptr);
  EXPECT_EQ(json_find_element(json_find_member(tree, "operands"), 1), last);
  json_delete(tree);
}

}  // namespace
}  // namespace korvi::expr
