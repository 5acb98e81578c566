// Lookup tables for code page 936 (iconv's "CP936"), built from the system's iconv once, at first
// use, so the conversions follow the code page exactly as iconv defines it without opening a
// converter per call. Both tables are immutable once built and safe to read from any thread.
//
// Bytes 0x00..0x7F are ASCII in both directions and are not looked up. Every character of the code
// page lies in the Basic Multilingual Plane, so one UTF-16 unit holds it; characters outside it go
// to iconv one by one (GbkOutsideBmp), as iconv may do more with them than reject them.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>

namespace qelo::text {

constexpr bool IsGbkLead(unsigned char c) {
  return c >= 0x81 && c <= 0xFE;
}
constexpr bool IsGbkTrail(unsigned char c) {
  return c >= 0x40 && c <= 0xFE && c != 0x7F;
}

// GBK to UTF-16. A zero entry means iconv names no character there.
class GbkDecodeTable {
 public:
  // The character of a byte 0x80..0xFF standing alone (a lead byte never does).
  char16_t Single(unsigned char c) const { return high_[c - 0x80]; }
  // The character of a lead byte and a byte in the trail range (IsGbkLead, IsGbkTrail).
  char16_t Pair(unsigned char lead, unsigned char trail) const {
    return pairs_[(lead - 0x81) * kTrails + (trail - 0x40)];
  }

 private:
  friend const GbkDecodeTable& GbkDecoding();
  GbkDecodeTable();

  static constexpr int kTrails = 0xFF - 0x40;  // 0x40..0xFE; 0x7F stays zero
  std::array<char16_t, 0x80> high_{};
  std::array<char16_t, (0xFE - 0x81 + 1) * kTrails> pairs_{};
};

// UTF-16 to GBK: for every BMP code point (surrogates excluded), its bytes packed in one value:
// a single byte b as b, a lead/trail pair as lead << 8 | trail; zero when the code page has no
// such character.
class GbkEncodeTable {
 public:
  uint16_t Of(char16_t unit) const { return codes_[unit]; }

 private:
  friend const GbkEncodeTable& GbkEncoding();
  GbkEncodeTable();

  std::array<uint16_t, 0x10000> codes_{};
};

class IconvHandle;

// Converts single characters outside the BMP, given in UTF-16 or UTF-8, to GBK through iconv.
// The descriptor opens at the first character and closes with the object, so a conversion pays
// for it only when its text holds such a character.
class GbkOutsideBmp {
 public:
  enum class From { kUtf16, kUtf8 };
  explicit GbkOutsideBmp(From from);
  ~GbkOutsideBmp();
  GbkOutsideBmp(const GbkOutsideBmp&) = delete;
  GbkOutsideBmp& operator=(const GbkOutsideBmp&) = delete;

  // Writes what iconv makes of the one character in `character` (a surrogate pair or four bytes
  // of UTF-8): at most two bytes, possibly none; "?" when iconv rejects it.
  char* Encode(const void* character, size_t bytes, char* out);

 private:
  From from_;
  std::unique_ptr<IconvHandle> cd_;
};

// The tables, built on the first call (from any thread). Throw std::runtime_error when iconv has
// no CP936; a later call tries again.
const GbkDecodeTable& GbkDecoding();
const GbkEncodeTable& GbkEncoding();

}  // namespace qelo::text
