// The main entry point through the shared library: envelopes, flags, errors.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "korvi/korvi.h"

namespace {

std::string answer(const char* text, int32_t mode, uint32_t flags, int32_t* status = nullptr) {
  FingerprintResult* result = fingerprint(text, mode, flags);
  EXPECT_NE(result, nullptr);
  if (result == nullptr) return "";
  EXPECT_NE(result->text, nullptr);
  std::string s = result->text;
  if (status != nullptr) *status = result->status;
  free_result(result);
  return s;
}

// hashlib: sha512(b" JOHN SMITH JR" + salt) and sha512(b"JOHN SMITH JR " + salt),
// sorted (tests/reference/korvi_reference.py).
const std::string kJohnFirst = "07e965b4d1d8a439aa0e91c036052b8a96f0307e8ae5371f1ecdd32745209faa";
const std::string kJohnSecond = "cb0ca6abc12be5b4ff0b57aeaae79b359460ae4e82fdcba081c99c05ec1e0a84";
const std::string kTooShort = R"({"success":false,"error":"Input length too short"})";
const std::string kBadUtf8 = R"({"success":false,"error":"Failed utf8 conversion"})";

TEST(Fingerprint, PlainRoadEnvelopes) {
  int32_t status = -1;
  EXPECT_EQ(answer("john smith jr", CLEAN_TEXT, 0, &status),
            R"({"success":true,"data":{"fingerprints":[")" + kJohnFirst + R"(",")" + kJohnSecond +
                R"("]}})");
  EXPECT_EQ(status, STATUS_OK);
  EXPECT_EQ(answer("john smith jr", CLEAN_TEXT, FINGERPRINT_SHORT),
            R"({"success":true,"data":{"fingerprints":[")" + kJohnFirst.substr(0, 16) + R"(",")" +
                kJohnSecond.substr(0, 16) + R"("]}})");
  EXPECT_EQ(answer("john smith jr", CLEAN_TEXT, FINGERPRINT_RAW), kJohnFirst + kJohnSecond);
  EXPECT_EQ(answer("john smith jr", CLEAN_TEXT, FINGERPRINT_RAW | FINGERPRINT_SHORT),
            kJohnFirst.substr(0, 16) + kJohnSecond.substr(0, 16));
}

TEST(Fingerprint, ErrorsComeAsJsonInEveryMode) {
  for (uint32_t flags : {0u, FINGERPRINT_RAW, FINGERPRINT_SHORT | FINGERPRINT_TILED}) {
    int32_t status = -1;
    EXPECT_EQ(answer("", CLEAN_TEXT, flags, &status), kTooShort);
    EXPECT_EQ(status, STATUS_TOO_SHORT);
    EXPECT_EQ(answer("a perfectly long text \xC3", CLEAN_TEXT, flags, &status), kBadUtf8);
    EXPECT_EQ(status, STATUS_BAD_UTF8);
    EXPECT_EQ(answer(nullptr, CLEAN_TEXT, flags, &status), kBadUtf8);
    EXPECT_EQ(status, STATUS_BAD_UTF8);
  }
  // Digits mode drops everything but digits, so a long text can be too short.
  EXPECT_EQ(answer("call 555-1234 now please", CLEAN_DIGITS, 0), kTooShort);
}

TEST(Fingerprint, ParseOnlyWithoutBooleanChangesNothing) {
  EXPECT_EQ(answer("john smith jr", CLEAN_TEXT, FINGERPRINT_PARSE_ONLY),
            answer("john smith jr", CLEAN_TEXT, 0));
  EXPECT_EQ(answer("john smith jr", CLEAN_TEXT, FINGERPRINT_PARSE_ONLY | FINGERPRINT_RAW),
            kJohnFirst + kJohnSecond);
}

TEST(Fingerprint, BooleanRoadAnswersJson) {
  EXPECT_EQ(answer("a OR b", CLEAN_TEXT, FINGERPRINT_BOOLEAN | FINGERPRINT_PARSE_ONLY),
            R"({"success":true,"data":{"operator":"OR","operands":["a","b"]}})");
  EXPECT_EQ(answer("\"john smith jr\"", CLEAN_TEXT, FINGERPRINT_BOOLEAN | FINGERPRINT_RAW),
            R"({"success":true,"data":[")" + kJohnFirst + R"(",")" + kJohnSecond + R"("]})");
  int32_t status = -1;
  EXPECT_EQ(answer("a OR", CLEAN_TEXT, FINGERPRINT_BOOLEAN, &status),
            R"({"success":false,"error":"Expression parse error"})");
  EXPECT_EQ(status, STATUS_PARSE_ERROR);
}

TEST(JsFingerprint, ReturnsTheSameTextAlone) {
  const char* texts[] = {"john smith jr", "", "x\xFF", "a OR b"};
  for (const char* text : texts) {
    for (uint32_t flags : {0u, FINGERPRINT_RAW, FINGERPRINT_BOOLEAN | FINGERPRINT_PARSE_ONLY}) {
      char* js = js_fingerprint(text, CLEAN_TEXT, flags);
      ASSERT_NE(js, nullptr);
      EXPECT_EQ(std::string(js), answer(text, CLEAN_TEXT, flags));
      korvi_free(js);
    }
  }
  free_result(nullptr);
}

TEST(Library, ReportsVersions) {
  EXPECT_STREQ(korvi_version(), "0.1.0");
  EXPECT_STREQ(korvi_unicode_version(), "15.0.0");
  EXPECT_NE(std::string(korvi_sha512_implementation()), "");
}

}  // namespace
