// Sizes in bytes as the result list shows them, and the reading of a reply's file_size text.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace qelo::app {

// "%.2fGB" / "%.2fMB" / "%.2fKB" by integer thresholds, rounding an exact half away from zero,
// with the given decimal separator; below 1 KB (and every negative value) n then "B".
std::string FormatSize(int64_t n, char decimalSeparator = '.');

// file_size: leading blanks, an optional sign, then decimal digits that fit a signed 32-bit
// value, or "$", "x", "X", "0x", "0X" and hexadecimal digits that fit 32 bits (read as two's
// complement). Nothing may follow; an empty text is not valid.
std::optional<int32_t> ReadFileSize(std::string_view text);

}  // namespace qelo::app
