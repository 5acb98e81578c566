#include "appcore/format_size.h"

#include "text/ascii_text.h"

namespace qelo::app {

namespace {

// n / unit with two decimals; n > 0, unit a power of two.
std::string TwoDecimals(int64_t n, int64_t unit, char sep, const char* suffix) {
  const __int128 hundredths = (static_cast<__int128>(n) * 100 + unit / 2) / unit;
  const int64_t whole = static_cast<int64_t>(hundredths / 100);
  const int frac = static_cast<int>(hundredths % 100);
  std::string s = std::to_string(whole);
  s += sep;
  s += static_cast<char>('0' + frac / 10);
  s += static_cast<char>('0' + frac % 10);
  s += suffix;
  return s;
}

}  // namespace

std::string FormatSize(int64_t n, char decimalSeparator) {
  constexpr int64_t kKB = 1024;
  constexpr int64_t kMB = kKB * 1024;
  constexpr int64_t kGB = kMB * 1024;
  if (n / kGB > 0) return TwoDecimals(n, kGB, decimalSeparator, "GB");
  if (n / kMB > 0) return TwoDecimals(n, kMB, decimalSeparator, "MB");
  if (n / kKB > 0) return TwoDecimals(n, kKB, decimalSeparator, "KB");
  return std::to_string(n) + "B";
}

std::optional<int32_t> ReadFileSize(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && text[i] == ' ')
    ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  const std::string_view rest = text.substr(i);
  size_t prefix = 0;
  if (rest.starts_with("0x") || rest.starts_with("0X"))
    prefix = 2;
  else if (!rest.empty() && (rest[0] == '$' || rest[0] == 'x' || rest[0] == 'X'))
    prefix = 1;
  const std::string_view digits = rest.substr(prefix);
  if (digits.empty()) return std::nullopt;

  uint64_t value = 0;
  if (prefix > 0) {
    for (char c : digits) {
      const int d = text::HexDigitValue(c);
      if (d < 0) return std::nullopt;
      value = value * 16 + static_cast<uint64_t>(d);
      if (value > 0xFFFFFFFFull) return std::nullopt;
    }
    const uint32_t bits = static_cast<uint32_t>(negative ? 0u - static_cast<uint32_t>(value)
                                                         : static_cast<uint32_t>(value));
    return static_cast<int32_t>(bits);
  }
  const uint64_t limit = negative ? 2147483648ull : 2147483647ull;
  for (char c : digits) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + static_cast<uint64_t>(c - '0');
    if (value > limit) return std::nullopt;
  }
  return static_cast<int32_t>(negative ? -static_cast<int64_t>(value)
                                       : static_cast<int64_t>(value));
}

}  // namespace qelo::app
