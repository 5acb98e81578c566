// Texts of the numeric kinds: integers, fixed-point counts of ten-thousandths and doubles.
#pragma once

#include <cstdint>
#include <string>

namespace qelo::json {

// Decimal digits, "-" in front of a negative value.
std::string IntegerText(int64_t value);

// 125000 -> "12.5", 10000 -> "1.", 5 -> "0.0005"; zero gives "0.".
std::string FixedPointText(int64_t value);

// 15 significant digits, correctly rounded from the exact binary value (halves away from zero).
// Fixed notation when the first digit's exponent e is -1..14, otherwise d.ddde+XXX; the point
// is always kept and trailing fraction zeros are dropped. Zero gives "0." ("-0." for -0);
// infinities and not-a-number give "null", which keeps the JSON text well-formed.
std::string DoubleText(double value);

}  // namespace qelo::json
