#include "json/json_number_read.h"

#include <algorithm>
#include <charconv>
#include <limits>
#include <optional>
#include <string>

#include "json/json_scan.h"

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
  // Number tokens are short: the units narrowed on the stack, a heap copy only for long ones.
  char stack[96];
  std::string heap;
  char* ascii = stack;
  if (text.size() > sizeof stack) {
    heap.resize(text.size());
    ascii = heap.data();
  }
  for (std::size_t i = 0; i < text.size(); ++i)
    ascii[i] = static_cast<char>(text[i]);
  double value = 0;
  const auto [end, ec] = std::from_chars(ascii, ascii + text.size(), value);
  if (ec == std::errc::invalid_argument) return 0;
  if (ec == std::errc::result_out_of_range) {
    const bool negative = ascii[0] == '-';
    const std::string_view matched(ascii, static_cast<std::size_t>(end - ascii));
    value = MagnitudeExponent(matched) > 0 ? std::numeric_limits<double>::infinity() : 0.0;
    return negative ? -value : value;
  }
  return value;
}

// The powers of ten a double holds exactly.
constexpr double kExactPowers[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                   1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                   1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
constexpr int kMaxExactPower = 22;
constexpr uint64_t kExactMantissa = uint64_t{1} << 53;
constexpr int kMaxDigits = 19;  // significant digits that always fit in 64 bits

// A plain token as read so far: its significant digits (up to kMaxDigits) and where the point
// and exponent put them.
struct PlainNumber {
  bool negative = false;
  bool point = false;
  bool exponent = false;
  bool too_long = false;  // more significant digits than kMaxDigits
  uint64_t mantissa = 0;
  int32_t digits = 0;      // significant digits in the mantissa
  int32_t fraction = 0;    // digits after the point
  int64_t exponent10 = 0;  // the written exponent, capped far beyond the range of a double
};

// Digits from p on into number; returns the first unit after them.
const char16_t* TakeDigits(const char16_t* p, const char16_t* end, PlainNumber& number) {
  for (; p < end && IsDigit(*p); ++p) {
    const auto digit = static_cast<uint64_t>(*p - u'0');
    if (number.digits == 0 && digit == 0) continue;  // a leading zero is not significant
    if (number.digits == kMaxDigits) {
      number.too_long = true;
      continue;
    }
    number.mantissa = number.mantissa * 10 + digit;
    ++number.digits;
  }
  return p;
}

// The value of a plain token when one exact operation gives it, as a double.
std::optional<double> ExactDouble(const PlainNumber& n) {
  if (n.too_long || n.mantissa > kExactMantissa) return std::nullopt;
  if (n.mantissa == 0) return n.negative ? -0.0 : 0.0;
  const int64_t power = n.exponent10 - n.fraction;
  if (power < -kMaxExactPower || power > kMaxExactPower) return std::nullopt;
  const auto m = static_cast<double>(n.mantissa);
  const double v = power < 0 ? m / kExactPowers[-power] : m * kExactPowers[power];
  return n.negative ? -v : v;
}

// Integers and fixed-point counts of a plain token that fit without saturating.
std::optional<TJsonNumber> ExactCount(const PlainNumber& n) {
  if (n.too_long) return std::nullopt;
  uint64_t count = n.mantissa;
  if (n.point) {
    for (int32_t k = n.fraction; k < 4; ++k)
      if (__builtin_mul_overflow(count, uint64_t{10}, &count)) return std::nullopt;
  }
  if (count > static_cast<uint64_t>(kMax)) return std::nullopt;
  const auto v = static_cast<int64_t>(count);
  return TJsonNumber{n.point ? TJsonKind::FixedPoint : TJsonKind::Integer, n.negative ? -v : v};
}

// Reads a plain token, or gives up (nothing) where the token turns out not to be plain.
std::optional<TJsonNumber> ReadPlain(const char16_t* begin, const char16_t* end,
                                     const char16_t** stop) {
  PlainNumber n;
  const char16_t* p = begin;
  n.negative = *p == u'-';
  if (n.negative) ++p;
  const char16_t* digits = p;
  p = TakeDigits(p, end, n);
  if (p == digits) return std::nullopt;
  if (p < end && *p == u'.') {
    n.point = true;
    const char16_t* fraction = ++p;
    p = TakeDigits(p, end, n);
    // Every fraction digit moves the point, leading zeros included.
    n.fraction = static_cast<int32_t>(p - fraction);
  }
  if (p < end && (*p == u'e' || *p == u'E')) {
    n.exponent = true;
    ++p;
    const bool negative = p < end && *p == u'-';
    if (p < end && (*p == u'-' || *p == u'+')) ++p;
    const char16_t* exponent = p;
    for (; p < end && IsDigit(*p); ++p)
      n.exponent10 = std::min<int64_t>(n.exponent10 * 10 + (*p - u'0'), int64_t{1} << 40);
    if (p == exponent) return std::nullopt;
    if (negative) n.exponent10 = -n.exponent10;
  }
  if (p < end && scan::IsNumberChar(*p)) return std::nullopt;
  *stop = p;
  // Fixed-point: a point, at most four fraction digits and no exponent.
  if (!n.exponent && (!n.point || n.fraction <= 4)) return ExactCount(n);
  if (const auto v = ExactDouble(n)) return TJsonNumber{TJsonKind::Double, 0, *v};
  return TJsonNumber{TJsonKind::Double, 0,
                     ConvertDouble({begin, static_cast<std::size_t>(p - begin)})};
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

namespace qelo::json {

const char16_t* ReadJsonNumberAt(const char16_t* begin, const char16_t* end, TJsonNumber* number) {
  const char16_t* stop = begin;
  if (const auto plain = ReadPlain(begin, end, &stop)) {
    *number = *plain;
    return stop;
  }
  stop = begin + 1;
  while (stop < end && scan::IsNumberChar(*stop))
    ++stop;
  *number = ReadJsonNumber({begin, static_cast<std::size_t>(stop - begin)});
  return stop;
}

}  // namespace qelo::json
