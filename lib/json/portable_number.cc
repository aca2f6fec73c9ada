// Number conversion for C++ libraries without floating-point
// std::to_chars/from_chars. snprintf and strtod round correctly but follow the
// locale's decimal point, so no text with a decimal point passes between
// them and this code: "%e" output is read digit by digit, and strtod gets
// an integer significand with an exponent.
#include <cstdio>
#include <cstdlib>

#include "json/json_internal.h"

namespace korvi::json {

namespace {

char* put_digits(char* out, const char* digits, int count) noexcept {
  for (int i = 0; i < count; ++i) *out++ = digits[i];
  return out;
}

}  // namespace

size_t portable_format(double x, int precision, char* buffer) noexcept {
  // "-d<point>ddddde-ddd": the point may be any bytes, digits are ASCII.
  char scientific[64];
  std::snprintf(scientific, sizeof scientific, "%.*e", precision - 1, x);
  const char* p = scientific;
  char* out = buffer;
  if (*p == '-') *out++ = *p++;
  char digits[20];
  int count = 0;
  for (; *p != 'e' && *p != 'E' && *p != '\0'; ++p) {
    if (is_digit(*p) && count < precision) digits[count++] = *p;
  }
  int exponent = 0;
  bool negative_exponent = false;
  if (*p != '\0') {
    ++p;
    negative_exponent = *p == '-';
    if (*p == '-' || *p == '+') ++p;
    for (; is_digit(*p); ++p) exponent = exponent * 10 + (*p - '0');
  }
  if (negative_exponent) exponent = -exponent;
  while (count > 1 && digits[count - 1] == '0') --count;  // %g drops trailing zeros

  if (exponent < -4 || exponent >= precision) {
    *out++ = digits[0];
    if (count > 1) {
      *out++ = '.';
      out = put_digits(out, digits + 1, count - 1);
    }
    *out++ = 'e';
    *out++ = exponent < 0 ? '-' : '+';
    int magnitude = exponent < 0 ? -exponent : exponent;
    if (magnitude >= 100) *out++ = static_cast<char>('0' + magnitude / 100);
    *out++ = static_cast<char>('0' + magnitude / 10 % 10);
    *out++ = static_cast<char>('0' + magnitude % 10);
  } else if (exponent >= 0) {
    const int whole = exponent + 1;
    out = put_digits(out, digits, count < whole ? count : whole);
    for (int i = count; i < whole; ++i) *out++ = '0';
    if (count > whole) {
      *out++ = '.';
      out = put_digits(out, digits + whole, count - whole);
    }
  } else {
    *out++ = '0';
    *out++ = '.';
    for (int i = -1; i > exponent; --i) *out++ = '0';
    out = put_digits(out, digits, count);
  }
  *out = '\0';
  return static_cast<size_t>(out - buffer);
}

double portable_convert(const char* first, const char* last) noexcept {
  // More significant digits than a double's halfway points ever need (767);
  // beyond them only whether any is non-zero matters, which one '1' keeps.
  constexpr int kKeep = 780;
  char text[kKeep + 40];
  char* out = text;
  const char* p = first;
  if (p < last && *p == '-') *out++ = *p++;
  long long scale = 0;  // power of ten the kept digits are multiplied by
  bool sticky = false;
  int kept = 0;
  bool fraction = false;
  for (; p < last && (is_digit(*p) || *p == '.'); ++p) {
    if (*p == '.') {
      fraction = true;
      continue;
    }
    if (fraction) --scale;
    if (kept == 0 && *p == '0') continue;  // leading zeros
    if (kept < kKeep) {
      *out++ = *p;
      ++kept;
    } else {
      ++scale;
      sticky = sticky || *p != '0';
    }
  }
  if (kept == 0) return *first == '-' ? -0.0 : 0.0;
  if (sticky) {
    *out++ = '1';
    --scale;
  }
  if (p < last) scale += read_exponent(p, last);  // at 'e' or 'E'
  std::snprintf(out, 32, "e%lld", scale);
  return std::strtod(text, nullptr);
}

}  // namespace korvi::json
