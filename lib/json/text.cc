// Byte-level routines shared by the writer and the parser: the output
// buffer, UTF-8 judgement and locale-independent number conversion.
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <new>
#include <string_view>
#include <system_error>

#include "json/json_internal.h"

namespace korvi::json {

void Buffer::grow(size_t n) {
  size_t capacity = capacity_ == 0 ? 16 : capacity_;
  while (capacity - length_ < n) {
    if (capacity > std::numeric_limits<size_t>::max() / 2) throw std::bad_alloc();
    capacity *= 2;
  }
  void* bigger = std::realloc(start_, capacity + 1);
  if (bigger == nullptr) throw std::bad_alloc();
  start_ = static_cast<char*>(bigger);
  capacity_ = capacity;
}

char* Buffer::release() {
  if (start_ == nullptr) grow(0);
  start_[length_] = '\0';
  char* text = start_;
  start_ = nullptr;
  length_ = capacity_ = 0;
  return text;
}

Utf8Scan utf8_scan(const unsigned char* s) noexcept {
  unsigned lead = s[0];
  if (lead < 0x80) return {1, true};
  // The second byte's range depends on the lead; later bytes are 80-BF.
  unsigned low = 0x80, high = 0xBF;
  int trail;
  if (lead >= 0xC2 && lead <= 0xDF) {
    trail = 1;
  } else if (lead == 0xE0) {
    trail = 2;
    low = 0xA0;
  } else if ((lead >= 0xE1 && lead <= 0xEC) || lead == 0xEE || lead == 0xEF) {
    trail = 2;
  } else if (lead == 0xED) {
    trail = 2;
    high = 0x9F;
  } else if (lead == 0xF0) {
    trail = 3;
    low = 0x90;
  } else if (lead >= 0xF1 && lead <= 0xF3) {
    trail = 3;
  } else if (lead == 0xF4) {
    trail = 3;
    high = 0x8F;
  } else {
    return {1, false};
  }
  if (s[1] < low || s[1] > high) return {1, false};
  for (int i = 2; i <= trail; ++i) {
    if (s[i] < 0x80 || s[i] > 0xBF) return {i, false};
  }
  return {trail + 1, true};
}

bool utf8_valid(const char* s) noexcept {
  auto p = reinterpret_cast<const unsigned char*>(s);
  while (*p != 0) {
    if (*p < 0x80) {
      ++p;
      continue;
    }
    Utf8Scan scan = utf8_scan(p);
    if (!scan.valid) return false;
    p += scan.length;
  }
  return true;
}

void utf8_put(uint32_t c, Buffer& out) {
  char bytes[4];
  size_t n;
  if (c < 0x80) {
    bytes[0] = static_cast<char>(c);
    n = 1;
  } else if (c < 0x800) {
    bytes[0] = static_cast<char>(0xC0 | (c >> 6));
    bytes[1] = static_cast<char>(0x80 | (c & 0x3F));
    n = 2;
  } else if (c < 0x10000) {
    bytes[0] = static_cast<char>(0xE0 | (c >> 12));
    bytes[1] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    bytes[2] = static_cast<char>(0x80 | (c & 0x3F));
    n = 3;
  } else {
    bytes[0] = static_cast<char>(0xF0 | (c >> 18));
    bytes[1] = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    bytes[2] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    bytes[3] = static_cast<char>(0x80 | (c & 0x3F));
    n = 4;
  }
  out.put(bytes, n);
}

namespace {

bool is_digit(char c) noexcept { return c >= '0' && c <= '9'; }

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
  if (p < last) {
    ++p;
    bool negative = *p == '-';
    if (*p == '-' || *p == '+') ++p;
    long long exponent = 0;
    for (; p < last; ++p) {
      if (exponent < 1'000'000'000) exponent = exponent * 10 + (*p - '0');
    }
    estimate += negative ? -exponent : exponent;
  }
  return estimate;
}

}  // namespace

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
#if defined(__cpp_lib_to_chars)
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
