// Reading the number tokens of the lenient reader: a run of "+", "-", ".", digits, "E" and "e"
// that starts with "-" or a digit.
#pragma once

#include <cstdint>
#include <string_view>

#include "json/json_value.h"

namespace qelo::json {

struct TJsonNumber {
  TJsonKind kind = TJsonKind::Integer;  // Integer, FixedPoint or Double
  int64_t integer = 0;                  // integer, or fixed-point count of ten-thousandths
  double real = 0;
};

// Without point or exponent an integer; with a point, at most four fraction digits and no
// exponent a fixed-point count; otherwise a double. Never fails: malformed texts and values out
// of range read as the nearest defined value (integers saturate, fixed-point texts out of range
// read as doubles, doubles out of range as infinities or zeros).
TJsonNumber ReadJsonNumber(std::u16string_view text);

// The number token that starts at begin (a "-" or a digit) and runs to the first unit that is
// no number character, or to end; read as ReadJsonNumber reads it. Returns where the token ends.
// A plain token (digits, at most one point, at most one exponent) is read in the same pass that
// finds its end, a double of up to 19 significant digits with a small exponent by one exact
// multiplication or division.
const char16_t* ReadJsonNumberAt(const char16_t* begin, const char16_t* end, TJsonNumber* number);

}  // namespace qelo::json
