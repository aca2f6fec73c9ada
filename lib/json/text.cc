// Routines shared by the writer and the parser: the output buffer and
// locale-independent number conversion.
#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <new>
#include <string_view>
#include <system_error>

#include "json/json_internal.h"

namespace korvi::json {

namespace {

// Decimal exponent of the leading non-zero digit of a matched number; only
// its sign matters (it tells overflow from underflow), so it saturates.
[[maybe_unused]] long long magnitude(const char* p, const char* last) noexcept {
  if (*p == '-') ++p;
  long long int_digits = 0, leading = 0;
  bool seen = false;
  for (; p < last && is_digit(*p); ++p) {
    if (*p != '0') seen = true;
    if (seen) ++int_digits;
  }
  long long estimate = int_digits - 1;
  if (!seen && p < last && *p == '.') {
    for (++p; p < last && *p == '0'; ++p) ++leading;
    estimate = -leading - 1;
  }
  while (p < last && *p != 'e' && *p != 'E') ++p;
  if (p < last) estimate += read_exponent(p, last);
  return estimate;
}

}  // namespace

long long read_exponent(const char* p, const char* last) noexcept {
  ++p;
  const bool negative = *p == '-';
  if (*p == '-' || *p == '+') ++p;
  long long exponent = 0;
  for (; p < last; ++p) {
    if (exponent < 1'000'000'000) exponent = exponent * 10 + (*p - '0');
  }
  return negative ? -exponent : exponent;
}

const char* match_number(const char* p) noexcept {
  if (*p == '-') ++p;
  if (*p == '0') {
    ++p;
  } else if (*p >= '1' && *p <= '9') {
    while (is_digit(*p)) ++p;
  } else {
    return nullptr;
  }
  if (*p == '.') {
    ++p;
    if (!is_digit(*p)) return nullptr;
    while (is_digit(*p)) ++p;
  }
  if (*p == 'e' || *p == 'E') {
    ++p;
    if (*p == '+' || *p == '-') ++p;
    if (!is_digit(*p)) return nullptr;
    while (is_digit(*p)) ++p;
  }
  return p;
}

double convert_number(const char* first, const char* last, NumberCode code) noexcept {
  // Where doubles are computed in wider registers (x87 on 32-bit x86), the C++
  // library's from_chars can round twice and miss the nearest double
  // (5.622488206432825e+31 reads one unit low there); strtod stays exact.
#if defined(__cpp_lib_to_chars) && FLT_EVAL_METHOD == 0
  if (code == NumberCode::charconv) {
    double value = 0;
    auto [end, error] = std::from_chars(first, last, value, std::chars_format::general);
    (void)end;
    if (error == std::errc::result_out_of_range) {
      // from_chars leaves value alone here; give what strtod gives.
      bool negative = *first == '-';
      value = magnitude(first, last) > 0 ? std::numeric_limits<double>::infinity() : 0.0;
      if (negative) value = -value;
    }
    return value;
  }
#endif
  (void)code;
  return portable_convert(first, last);
}

namespace {

// "%.<precision>g" of x into buffer (32 bytes), zero-terminated; nullptr when
// that is no JSON number (NaN, infinities).
char* format_general(double x, int precision, char* buffer, NumberCode code) noexcept {
  if (!std::isfinite(x)) return nullptr;
#if defined(__cpp_lib_to_chars)
  if (code == NumberCode::charconv) {
    auto [end, error] =
        std::to_chars(buffer, buffer + 31, x, std::chars_format::general, precision);
    if (error != std::errc()) return nullptr;
    *end = '\0';
    return end;
  }
#endif
  (void)code;
  return buffer + portable_format(x, precision, buffer);
}

}  // namespace

size_t format_number(double x, char* buffer, NumberCode code) noexcept {
  char* end = format_general(x, 16, buffer, code);
  if (end == nullptr) {
    std::memcpy(buffer, "null", 5);
    return 4;
  }
  // Sixteen digits can read back as a neighbour of x that writes otherwise:
  // 1.0000000000000001e23 writes as 1e+23, which reads as
  // 9.999999999999999e22; the largest doubles write as texts that read as
  // infinity. There seventeen digits, which always read back as x, keep a
  // written number the same through any number of reads and writes.
  const double back = convert_number(buffer, end, code);
  if (back != x) {
    char again[32];
    const char* again_end = format_general(back, 16, again, code);
    if (again_end == nullptr || std::string_view(again, static_cast<size_t>(again_end - again)) !=
                                    std::string_view(buffer, static_cast<size_t>(end - buffer))) {
      end = format_general(x, 17, buffer, code);
    }
  }
  return static_cast<size_t>(end - buffer);
}

}  // namespace korvi::json
