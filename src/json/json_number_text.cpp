#include "json/json_number_text.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <vector>

namespace qelo::json {

namespace {

std::string UnsignedDigits(uint64_t v) {
  char digits[20];
  int n = 0;
  do {
    digits[n++] = static_cast<char>('0' + v % 10);
    v /= 10;
  } while (v != 0);
  std::string out(static_cast<std::size_t>(n), '0');
  for (int i = 0; i < n; ++i)
    out[static_cast<std::size_t>(i)] = digits[n - 1 - i];
  return out;
}

uint64_t Magnitude(int64_t v) {
  return v < 0 ? ~static_cast<uint64_t>(v) + 1 : static_cast<uint64_t>(v);
}

// An unsigned integer of any size, 32-bit limbs, least significant first.
class BigUnsigned {
 public:
  explicit BigUnsigned(uint64_t v) {
    limbs_.push_back(static_cast<uint32_t>(v));
    limbs_.push_back(static_cast<uint32_t>(v >> 32));
    Trim();
  }

  void Multiply(uint32_t factor) {
    uint64_t carry = 0;
    for (uint32_t& limb : limbs_) {
      const uint64_t p = uint64_t{limb} * factor + carry;
      limb = static_cast<uint32_t>(p);
      carry = p >> 32;
    }
    if (carry) limbs_.push_back(static_cast<uint32_t>(carry));
  }

  void ShiftLeft(int bits) {
    for (; bits >= 32; bits -= 32)
      limbs_.insert(limbs_.begin(), 0u);
    if (bits == 0) return;
    uint32_t carry = 0;
    for (uint32_t& limb : limbs_) {
      const uint32_t next = limb >> (32 - bits);
      limb = (limb << bits) | carry;
      carry = next;
    }
    if (carry) limbs_.push_back(carry);
  }

  // Decimal digits, most significant first.
  std::string Decimal() const {
    std::vector<uint32_t> n = limbs_;
    std::string reversed;
    constexpr uint32_t kChunk = 1000000000;
    while (!n.empty()) {
      uint64_t rem = 0;
      for (std::size_t i = n.size(); i-- > 0;) {
        const uint64_t cur = (rem << 32) | n[i];
        n[i] = static_cast<uint32_t>(cur / kChunk);
        rem = cur % kChunk;
      }
      while (!n.empty() && n.back() == 0)
        n.pop_back();
      for (int d = 0; d < 9; ++d) {
        reversed.push_back(static_cast<char>('0' + rem % 10));
        rem /= 10;
        if (n.empty() && rem == 0) break;
      }
    }
    std::reverse(reversed.begin(), reversed.end());
    return reversed;
  }

 private:
  void Trim() {
    while (!limbs_.empty() && limbs_.back() == 0)
      limbs_.pop_back();
  }
  std::vector<uint32_t> limbs_;
};

// Exact decimal digits of a finite nonzero |value| and the exponent of the first digit.
void ExactDigits(double value, std::string& digits, int& exponent) {
  const uint64_t bits = std::bit_cast<uint64_t>(value);
  const int biased = static_cast<int>((bits >> 52) & 0x7FF);
  uint64_t mantissa = bits & ((uint64_t{1} << 52) - 1);
  int e2;
  if (biased == 0) {
    e2 = -1074;
  } else {
    mantissa |= uint64_t{1} << 52;
    e2 = biased - 1075;
  }
  BigUnsigned n(mantissa);
  int point;  // value = 0.<digits> * 10^point
  if (e2 >= 0) {
    n.ShiftLeft(e2);
    digits = n.Decimal();
    point = static_cast<int>(digits.size());
  } else {
    // mantissa / 2^k = mantissa * 5^k / 10^k
    int k = -e2;
    for (; k >= 13; k -= 13)
      n.Multiply(1220703125u);  // 5^13
    for (; k > 0; --k)
      n.Multiply(5);
    digits = n.Decimal();
    point = static_cast<int>(digits.size()) + e2;
  }
  exponent = point - 1;
}

// Keeps 15 significant digits, rounding halves away from zero; a carry out of the first digit
// raises the exponent.
void RoundTo15(std::string& digits, int& exponent) {
  constexpr std::size_t kSignificant = 15;
  if (digits.size() > kSignificant) {
    const bool up = digits[kSignificant] >= '5';
    digits.resize(kSignificant);
    if (up) {
      std::size_t i = kSignificant;
      while (i > 0 && digits[i - 1] == '9')
        digits[--i] = '0';
      if (i == 0) {
        digits.insert(digits.begin(), '1');
        digits.pop_back();
        ++exponent;
      } else {
        ++digits[i - 1];
      }
    }
  }
  digits.resize(kSignificant, '0');
}

void TrimFractionZeros(std::string& text) {
  while (!text.empty() && text.back() == '0')
    text.pop_back();
}

}  // namespace

std::string IntegerText(int64_t value) {
  std::string text = UnsignedDigits(Magnitude(value));
  if (value < 0) text.insert(text.begin(), '-');
  return text;
}

std::string FixedPointText(int64_t value) {
  if (value == 0) return "0.";
  std::string d = UnsignedDigits(Magnitude(value));
  if (d.size() < 5) d.insert(0, 5 - d.size(), '0');
  std::string fraction = d.substr(d.size() - 4);
  TrimFractionZeros(fraction);
  std::string text = d.substr(0, d.size() - 4) + "." + fraction;
  if (value < 0) text.insert(text.begin(), '-');
  return text;
}

std::string DoubleText(double value) {
  if (!std::isfinite(value)) return "null";
  const std::string sign = std::signbit(value) ? "-" : "";
  if (value == 0) return sign + "0.";
  std::string digits;
  int e = 0;
  ExactDigits(std::fabs(value), digits, e);
  RoundTo15(digits, e);
  std::string text;
  if (e >= -1 && e <= 14) {
    std::string fraction;
    if (e >= 0) {
      text = digits.substr(0, static_cast<std::size_t>(e) + 1);
      fraction = digits.substr(static_cast<std::size_t>(e) + 1);
    } else {
      text = "0";
      fraction = digits;
    }
    TrimFractionZeros(fraction);
    text += "." + fraction;
  } else {
    std::string fraction = digits.substr(1);
    TrimFractionZeros(fraction);
    const int magnitude = e < 0 ? -e : e;
    std::string exponent = UnsignedDigits(static_cast<uint64_t>(magnitude));
    if (exponent.size() < 3) exponent.insert(0, 3 - exponent.size(), '0');
    text = digits.substr(0, 1) + "." + fraction + "e" + (e < 0 ? "-" : "+") + exponent;
  }
  return sign + text;
}

}  // namespace qelo::json
