#include "json/json_number_read.h"

#include <algorithm>
#include <charconv>
#include <limits>
#include <optional>
#include <string>

namespace qelo::json {

namespace {

bool IsDigit(char16_t u) {
  return u >= u'0' && u <= u'9';
}

constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
constexpr int64_t kMin = std::numeric_limits<int64_t>::min();

// An optional sign, then digits up to the first other unit. Never fails: a lone sign gives 0,
// digits beyond the signed 64-bit range saturate at its ends.
int64_t ConvertInteger(std::u16string_view text) {
  std::size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) negative = text[i++] == u'-';
  uint64_t magnitude = 0;
  const uint64_t limit = negative ? uint64_t{1} << 63 : static_cast<uint64_t>(kMax);
  for (; i < text.size() && IsDigit(text[i]); ++i) {
    const uint64_t digit = text[i] - u'0';
    magnitude = magnitude > (limit - digit) / 10 ? limit : magnitude * 10 + digit;
  }
  if (!negative) return static_cast<int64_t>(magnitude);
  return magnitude == uint64_t{1} << 63 ? kMin : -static_cast<int64_t>(magnitude);
}

// A fixed-point count: the text with its first point taken out, read by the integer rule, times
// 10^power_of_ten; nothing when the digits or the product leave the signed 64-bit range.
std::optional<int64_t> ConvertFixed(std::u16string_view text, int32_t power_of_ten) {
  std::size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) negative = text[i++] == u'-';
  bool point_removed = false;
  int64_t v = 0;
  for (; i < text.size(); ++i) {
    if (text[i] == u'.' && !point_removed) {
      point_removed = true;
      continue;
    }
    if (!IsDigit(text[i])) break;
    const int digit = text[i] - u'0';
    if (__builtin_mul_overflow(v, 10, &v) ||
        __builtin_add_overflow(v, negative ? -digit : digit, &v))
      return std::nullopt;
  }
  for (int32_t k = 0; k < power_of_ten; ++k)
    if (__builtin_mul_overflow(v, 10, &v)) return std::nullopt;
  return v;
}

// Decimal exponent of the first significant digit of a matched number text (saturating),
// used only to tell overflow from underflow.
int64_t MagnitudeExponent(std::string_view text) {
  std::size_t i = 0;
  if (i < text.size() && text[i] == '-') ++i;
  int64_t before_point = 0, leading_zeros_after = 0;
  bool point = false, nonzero = false;
  for (; i < text.size() && text[i] != 'e' && text[i] != 'E'; ++i) {
    const char c = text[i];
    if (c == '.') {
      point = true;
    } else if (!nonzero && c == '0') {
      if (point) ++leading_zeros_after;
    } else {
      nonzero = true;
      if (!point) ++before_point;
    }
  }
  int64_t exponent = 0;
  if (i < text.size()) {
    ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
      exponent = std::min<int64_t>(exponent * 10 + (text[i] - '0'), int64_t{1} << 40);
    }
    if (negative) exponent = -exponent;
  }
  return (before_point > 0 ? before_point - 1 : -leading_zeros_after - 1) + exponent;
}

// The longest leading part that is a decimal number; 0 when there is none. Magnitudes beyond
// the range of a double give an infinity, ones below it a zero, each with the text's sign.
double ConvertDouble(std::u16string_view text) {
  std::string ascii(text.size(), '\0');
  for (std::size_t i = 0; i < text.size(); ++i)
    ascii[i] = static_cast<char>(text[i]);
  double value = 0;
  const auto [end, ec] = std::from_chars(ascii.data(), ascii.data() + ascii.size(), value);
  if (ec == std::errc::invalid_argument) return 0;
  if (ec == std::errc::result_out_of_range) {
    const bool negative = !ascii.empty() && ascii[0] == '-';
    const std::string_view matched(ascii.data(), static_cast<std::size_t>(end - ascii.data()));
    value = MagnitudeExponent(matched) > 0 ? std::numeric_limits<double>::infinity() : 0.0;
    return negative ? -value : value;
  }
  return value;
}

}  // namespace

TJsonNumber ReadJsonNumber(std::u16string_view text) {
  // A point sets the decimal flag and starts counting fraction digits; an exponent, or a fifth
  // fraction digit, rules out fixed-point (count -1).
  bool decimal = false;
  int32_t fraction_count = -1;
  for (char16_t c : text) {
    if (c == u'.') {
      decimal = true;
      fraction_count = 0;
    } else if (c == u'E' || c == u'e') {
      decimal = true;
      fraction_count = -1;
    } else if (IsDigit(c) && decimal && fraction_count != -1) {
      if (++fraction_count > 4) fraction_count = -1;
    }
  }
  if (!decimal) return {TJsonKind::Integer, ConvertInteger(text)};
  // Beyond the fixed-point range the number is read as a double: a saturated count would be a
  // different number (the double 999999999999999 is written "999999999999999.").
  if (fraction_count >= 0) {
    if (const auto fixed = ConvertFixed(text, 4 - fraction_count))
      return {TJsonKind::FixedPoint, *fixed};
  }
  return {TJsonKind::Double, 0, ConvertDouble(text)};
}

}  // namespace qelo::json
