// Sequential little-endian reading over bytes held elsewhere. Every read checks the bytes left
// first and raises EReadError when too few remain, so a damaged body never reads past its end.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "skin/skin_errors.h"

namespace qelo::skin {

class TByteReader {
 public:
  explicit TByteReader(std::string_view bytes) : bytes_(bytes) {}

  size_t Position() const { return pos_; }
  size_t Left() const { return bytes_.size() - pos_; }
  bool AtEnd() const { return pos_ == bytes_.size(); }

  std::string_view Take(uint64_t n) {
    if (n > Left()) throw EReadError();
    std::string_view out = bytes_.substr(pos_, static_cast<size_t>(n));
    pos_ += static_cast<size_t>(n);
    return out;
  }
  uint8_t U8() { return static_cast<uint8_t>(Take(1)[0]); }
  uint16_t U16() {
    const std::string_view b = Take(2);
    return static_cast<uint16_t>(Byte(b, 0) | Byte(b, 1) << 8);
  }
  uint32_t U32() {
    const std::string_view b = Take(4);
    return Byte(b, 0) | Byte(b, 1) << 8 | Byte(b, 2) << 16 | Byte(b, 3) << 24;
  }
  int32_t I32() { return static_cast<int32_t>(U32()); }
  int16_t I16() { return static_cast<int16_t>(U16()); }
  // Everything not read yet.
  std::string_view Rest() { return Take(Left()); }

 private:
  static uint32_t Byte(std::string_view b, size_t i) { return static_cast<uint8_t>(b[i]); }

  std::string_view bytes_;
  size_t pos_ = 0;
};

}  // namespace qelo::skin
