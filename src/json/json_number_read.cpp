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
constexpr int32_t kMaxDigits = 19;  // decimal digits that always fit in 64 bits
constexpr uint64_t kChunkScale[] = {1, 10, 100, 1000, 10000, 100000, 1000000, 10000000, 100000000};

// The digits from p on, appended to *mantissa, their number added to *count (the mantissa is
// right only while the count stays at kMaxDigits or below). Returns the first unit after them.
[[gnu::always_inline]] inline const char16_t* AppendDigits(const char16_t* p, const char16_t* end,
                                                           uint64_t& mantissa, int32_t& count) {
  for (;;) {
    uint64_t chunk;
    const int n = scan::LeadingDigits(p, end, &chunk);
    mantissa = mantissa * kChunkScale[n] + chunk;
    count += n;
    p += n;
    if (n < 8) return p;
  }
}

// mantissa * 10^power of a token already known to be a double, by one exact multiplication or
// division when both operands are exact; otherwise by conversion of its text.
double PlainDouble(uint64_t mantissa, int64_t power, bool negative, std::u16string_view text) {
  if (mantissa > kExactMantissa || power < -kMaxExactPower || power > kMaxExactPower)
    return ConvertDouble(text);
  const auto m = static_cast<double>(mantissa);
  const double v = power < 0 ? m / kExactPowers[-power] : m * kExactPowers[power];
  return negative ? -v : v;
}

// A plain token (digits, at most one point, at most one exponent) of at most kMaxDigits
// digits, read in the pass that finds its end; nothing for any other token.
std::optional<TJsonNumber> ReadShortPlain(const char16_t* begin, const char16_t* end,
                                          const char16_t** stop) {
  const char16_t* p = begin;
  const bool negative = *p == u'-';
  if (negative) ++p;
  uint64_t mantissa = 0;
  int32_t count = 0;
  p = AppendDigits(p, end, mantissa, count);
  if (count == 0) return std::nullopt;
  if (p == end || !scan::IsNumberChar(*p)) {
    // Up to 18 digits always fit; longer integers may saturate.
    if (count > kMaxDigits - 1) return std::nullopt;
    *stop = p;
    const auto v = static_cast<int64_t>(mantissa);
    return TJsonNumber{TJsonKind::Integer, negative ? -v : v};
  }
  int32_t fraction = -1;  // no point
  if (*p == u'.') {
    const char16_t* first = ++p;
    p = AppendDigits(p, end, mantissa, count);
    fraction = static_cast<int32_t>(p - first);
  }
  bool exponent = false;
  int64_t power = 0;
  if (p < end && (*p == u'e' || *p == u'E')) {
    exponent = true;
    const bool down = ++p < end && *p == u'-';
    if (p < end && (*p == u'-' || *p == u'+')) ++p;
    const char16_t* first = p;
    for (; p < end && IsDigit(*p); ++p)
      power = std::min<int64_t>(power * 10 + (*p - u'0'), int64_t{1} << 40);
    if (p == first) return std::nullopt;
    if (down) power = -power;
  }
  if ((p < end && scan::IsNumberChar(*p)) || count > kMaxDigits) return std::nullopt;
  *stop = p;
  if (!exponent && fraction <= 4) {
    // A point and at most four fraction digits: a fixed-point count, if it fits.
    uint64_t fixed = mantissa;
    for (int32_t k = fraction; k < 4; ++k)
      if (__builtin_mul_overflow(fixed, uint64_t{10}, &fixed)) return std::nullopt;
    if (fixed > static_cast<uint64_t>(kMax)) return std::nullopt;
    const auto v = static_cast<int64_t>(fixed);
    return TJsonNumber{TJsonKind::FixedPoint, negative ? -v : v};
  }
  const std::u16string_view text(begin, static_cast<std::size_t>(p - begin));
  return TJsonNumber{TJsonKind::Double, 0,
                     PlainDouble(mantissa, power - std::max(fraction, 0), negative, text)};
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
  if (const auto plain = ReadShortPlain(begin, end, &stop)) {
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
