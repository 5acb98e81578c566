// Unit classes of the lenient reader and the loops that skip runs of ordinary units in bulk.
#pragma once

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace qelo::json::scan {

inline bool IsWhitespace(char16_t u) {
  return u == 32 || (u <= 13 && (u == 8 || u == 9 || u == 10 || u == 12 || u == 13));
}

inline bool IsDigit(char16_t u) {
  return u >= u'0' && u <= u'9';
}

// 0, the whitespace units and " ( ) , . : [ ] { }; units above 127 never are.
inline bool IsReserved(char16_t u) {
  switch (u) {
    case 0:
    case u'"':
    case u'(':
    case u')':
    case u',':
    case u'.':
    case u':':
    case u'[':
    case u']':
    case u'{':
    case u'}':
      return true;
    default:
      return IsWhitespace(u);
  }
}

inline bool IsWordChar(char16_t u) {
  return u == u'.' || (u >= u'A' && u <= u'Z') || u == u'_' || (u >= u'a' && u <= u'z') || u > 255;
}

inline bool IsNumberChar(char16_t u) {
  return IsDigit(u) || u == u'+' || u == u'-' || u == u'.' || u == u'E' || u == u'e';
}

inline int HexValue(char16_t u) {
  if (IsDigit(u)) return u - u'0';
  if (u >= u'A' && u <= u'F') return u - u'A' + 10;
  if (u >= u'a' && u <= u'f') return u - u'a' + 10;
  return -1;
}

// The first unit from p on that is 0, a, b or c; end when there is none.
inline const char16_t* FindAny(const char16_t* p, const char16_t* end, char16_t a, char16_t b,
                               char16_t c) {
#if defined(__SSE2__)
  const __m128i zero = _mm_setzero_si128();
  const __m128i va = _mm_set1_epi16(static_cast<short>(a));
  const __m128i vb = _mm_set1_epi16(static_cast<short>(b));
  const __m128i vc = _mm_set1_epi16(static_cast<short>(c));
  for (; end - p >= 8; p += 8) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const __m128i hit = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi16(v, zero), _mm_cmpeq_epi16(v, va)),
                                     _mm_or_si128(_mm_cmpeq_epi16(v, vb), _mm_cmpeq_epi16(v, vc)));
    const unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(hit));
    if (mask != 0) return p + std::countr_zero(mask) / 2;
  }
#endif
  for (; p < end; ++p) {
    const char16_t u = *p;
    if (u == 0 || u == a || u == b || u == c) return p;
  }
  return end;
}

// The decimal digits that lead the (at most) eight units from p on, up to end: how many there
// are, and their value in *value.
inline int LeadingDigits(const char16_t* p, const char16_t* end, uint64_t* value) {
#if defined(__SSE2__)
  if (end - p >= 8) {
    const __m128i units = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const __m128i digits = _mm_sub_epi16(units, _mm_set1_epi16('0'));
    // Units below "0" wrap round to large values: a digit is a difference of at most 9.
    const __m128i over = _mm_subs_epu16(digits, _mm_set1_epi16(9));
    const auto mask =
        static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi16(over, _mm_setzero_si128())));
    const int count = std::countr_one(mask) / 2;
    if (count == 0) {
      *value = 0;
      return 0;
    }
    // One byte a digit, the first in the lowest; the digits that do not lead are shifted out
    // and zeros, which do not change the value, shifted in ahead of the first.
    uint64_t bytes = static_cast<uint64_t>(_mm_cvtsi128_si64(_mm_packus_epi16(digits, digits)));
    bytes <<= 8 * (8 - count);
    bytes = (bytes * 10 + (bytes >> 8)) & 0x00FF00FF00FF00FFull;
    bytes = (bytes * 100 + (bytes >> 16)) & 0x0000FFFF0000FFFFull;
    *value = (bytes * 10000 + (bytes >> 32)) & 0xFFFFFFFFull;
    return count;
  }
#endif
  uint64_t v = 0;
  int count = 0;
  for (; count < 8 && p + count < end && IsDigit(p[count]); ++count)
    v = v * 10 + static_cast<uint64_t>(p[count] - u'0');
  *value = v;
  return count;
}

// The n units at a and b are the same. Names are short: a name is compared in at most three
// pairs of loads, the last pair overlapping the one before.
inline bool SameUnits(const char16_t* a, const char16_t* b, std::size_t n) {
  const auto same = [a, b](std::size_t at, auto width) {
    decltype(width) x, y;
    std::memcpy(&x, a + at, sizeof x);
    std::memcpy(&y, b + at, sizeof y);
    return x == y;
  };
  if (n < 2) return n == 0 || a[0] == b[0];
  if (n < 4) return same(0, uint32_t{}) && same(n - 2, uint32_t{});
  if (n < 8) return same(0, uint64_t{}) && same(n - 4, uint64_t{});
#if defined(__SSE2__)
  const auto same8 = [a, b](std::size_t at) {
    const __m128i va = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a + at));
    const __m128i vb = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + at));
    return _mm_movemask_epi8(_mm_cmpeq_epi16(va, vb)) == 0xFFFF;
  };
  for (std::size_t i = 0; i + 8 < n; i += 8)
    if (!same8(i)) return false;
  return same8(n - 8);
#else
  for (std::size_t i = 0; i < n; i += 4)
    if (!same(std::min(i, n - 4), uint64_t{})) return false;
  return true;
#endif
}

}  // namespace qelo::json::scan
