// The portable number conversions against the C++ library's std::to_chars
// and std::from_chars: the same text for every double, the same double for
// every text, under a locale with a decimal comma too.
#include <gtest/gtest.h>

#include <bit>
#include <charconv>
#include <cmath>
#include <clocale>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "json/json_internal.h"

namespace korvi::json::testing {
namespace {

#if defined(__cpp_lib_to_chars)

std::string written(double x, NumberCode code) {
  char buffer[32];
  return std::string(buffer, format_number(x, buffer, code));
}

double read(const std::string& text, NumberCode code) {
  return convert_number(text.data(), text.data() + text.size(), code);
}

// The decimal digits of 5^n.
std::string five_to_the(int n) {
  std::vector<int> digits = {1};  // least significant first
  for (int i = 0; i < n; ++i) {
    int carry = 0;
    for (int& d : digits) {
      const int product = d * 5 + carry;
      d = product % 10;
      carry = product / 10;
    }
    if (carry > 0) digits.push_back(carry);
  }
  std::string text;
  for (auto d = digits.rbegin(); d != digits.rend(); ++d) text += static_cast<char>('0' + *d);
  return text;
}

std::vector<double> sample_doubles() {
  constexpr double kMax = std::numeric_limits<double>::max();
  constexpr double kMinNormal = std::numeric_limits<double>::min();
  constexpr double kMinSubnormal = std::numeric_limits<double>::denorm_min();
  std::vector<double> xs = {0.0, -0.0, 1.0, -1.0, 0.1, 0.2, 0.3, 1.0 / 3, 2.0 / 3, 123.456,
                            1e23, 1e22, 9.999999999999999e22, 1.0000000000000001e23,
                            kMax, -kMax, kMinNormal, kMinSubnormal, -kMinSubnormal,
                            kMinNormal - kMinSubnormal, 2.2250738585072009e-308, 4.9e-324,
                            9007199254740993.0, 9007199254740992.0, 0.30000000000000004,
                            1e-5, 1e-4, 0.0001234, 1e15, 1e16, 1e17, 123456789012345678.0,
                            5e-324 * 3, 1.7976931348623157e308, 8.98846567431158e307};
  for (int e = -320; e <= 308; ++e) xs.push_back(std::strtod(("1e" + std::to_string(e)).c_str(), nullptr));
  for (double x = 1; x < kMax / 2; x *= 2) {
    xs.push_back(x);
    xs.push_back(std::nextafter(x, 0.0));
    xs.push_back(std::nextafter(x, kMax));
  }
  std::mt19937_64 random(20261208);
  for (int i = 0; i < 200000; ++i) {  // any bit pattern: every exponent, subnormals
    const double x = std::bit_cast<double>(random());
    if (std::isfinite(x)) xs.push_back(x);
  }
  std::uniform_real_distribution<double> unit(-1e6, 1e6);
  for (int i = 0; i < 50000; ++i) xs.push_back(unit(random));
  return xs;
}

void expect_same_on(const std::vector<double>& xs) {
  for (double x : xs) {
    const std::string text = written(x, NumberCode::charconv);
    ASSERT_EQ(written(x, NumberCode::portable), text) << "bits " << std::bit_cast<uint64_t>(x);
    char general[32];
    for (int precision : {1, 6, 16, 17}) {
      std::string expected(general, std::to_chars(general, general + 31, x,
                                                  std::chars_format::general, precision).ptr);
      ASSERT_EQ(std::string(general, portable_format(x, precision, general)), expected)
          << "precision " << precision;
    }
    const double back = read(text, NumberCode::portable);
    ASSERT_EQ(std::bit_cast<uint64_t>(back), std::bit_cast<uint64_t>(read(text, NumberCode::charconv)))
        << text;
  }
}

TEST(PortableNumbers, WriteAndReadAsToCharsAndFromChars) { expect_same_on(sample_doubles()); }

TEST(PortableNumbers, DecimalCommaLocaleChangesNothing) {
  const std::string before = std::setlocale(LC_ALL, nullptr);
  if (std::setlocale(LC_ALL, "de_DE.UTF-8") == nullptr &&
      std::setlocale(LC_ALL, "de_DE.utf8") == nullptr) {
    GTEST_SKIP() << "no de_DE locale installed";
  }
  std::vector<double> xs = sample_doubles();
  xs.resize(20000);
  expect_same_on(xs);
  std::setlocale(LC_ALL, before.c_str());
}

TEST(PortableNumbers, TextsReadAsFromCharsReadsThem) {
  std::vector<std::string> texts = {
      "0", "-0", "0.0", "-0.0e5", "1e400", "-1e400", "1e-400", "-1e-400", "2e-324", "3e-324",
      "2.4703282292062328e-324", "2.4703282292062327e-324", "1e999999999999999", "1e-999999999999",
      "0.000000000000000000000000000000000000001", "1.7976931348623158e308",
      "1.7976931348623159e308", "179769313486231580793728971405301e276", "100000000000000000003230",
      "9007199254740993", "9007199254740992.5000000000000000000001", "1E5", "1.5E-3"};
  // 2^-1075, halfway between zero and the smallest subnormal, exactly (767
  // significant digits): rounds to zero (to even), and to the subnormal with
  // a 1 eight hundred digits further on.
  const std::string halfway = five_to_the(1075);
  texts.push_back(halfway + "e-1075");
  texts.push_back(halfway + std::string(800, '0') + "1e-1876");
  texts.push_back("1" + std::string(1000, '0'));
  texts.push_back("0." + std::string(1000, '0') + "1");
  texts.push_back(std::string(900, '9') + "e-600");
  std::mt19937_64 random(7);
  std::uniform_int_distribution<int> digit(0, 9), length(1, 40), exponent(-340, 320);
  for (int i = 0; i < 100000; ++i) {
    std::string text = random() & 1 ? "-" : "";
    const int whole = length(random), fraction = length(random) - 1;
    text += static_cast<char>('1' + digit(random) % 9);
    for (int k = 1; k < whole; ++k) text += static_cast<char>('0' + digit(random));
    if (fraction > 0) text += '.';
    for (int k = 0; k < fraction; ++k) text += static_cast<char>('0' + digit(random));
    if (random() & 1) text += "e" + std::to_string(exponent(random));
    texts.push_back(text);
  }
  for (const std::string& text : texts) {
    ASSERT_EQ(match_number(text.c_str()), text.c_str() + text.size()) << text;
    ASSERT_EQ(std::bit_cast<uint64_t>(read(text, NumberCode::portable)),
              std::bit_cast<uint64_t>(read(text, NumberCode::charconv)))
        << text;
  }
}

#else

TEST(PortableNumbers, NeedsToCharsToCompareWith) {
  GTEST_SKIP() << "this C++ library has no floating-point std::to_chars";
}

#endif

}  // namespace
}  // namespace korvi::json::testing
