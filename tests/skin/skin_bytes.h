// Skin containers written byte by byte for the tests, independent of the reader's code.
#pragma once

#include <zlib.h>

#include <cstdint>
#include <string>
#include <vector>

namespace qelo::skin::test {

inline void Le32(std::string& out, uint32_t v) {
  for (int i = 0; i < 4; ++i)
    out.push_back(static_cast<char>(v >> (8 * i) & 0xFF));
}
inline void Le16(std::string& out, uint32_t v) {
  out.push_back(static_cast<char>(v & 0xFF));
  out.push_back(static_cast<char>(v >> 8 & 0xFF));
}

// The fields of one bitmap file image; the pixel bytes are given as they are stored.
struct BmpLayout {
  uint32_t infoSize = 40;
  int32_t width = 1;
  int32_t height = 1;
  uint32_t planes = 1;
  uint32_t bits = 24;
  uint32_t compression = 0;
  uint32_t sizeImage = 0;
  uint32_t colorsUsed = 0;
  std::vector<uint32_t> masks{};   // written after the info header when not empty
  std::vector<uint32_t> colors{};  // 0x00RRGGBB, written as 3 or 4 bytes
  std::string pixels;
  std::string signature = "BM";
};

inline std::string Bmp(const BmpLayout& s) {
  std::string out = s.signature;
  Le32(out, 0);  // file size and offset are not consulted
  Le32(out, 0);
  Le32(out, 0);
  Le32(out, s.infoSize);
  if (s.infoSize == 12) {
    Le16(out, static_cast<uint32_t>(s.width));
    Le16(out, static_cast<uint32_t>(s.height));
    Le16(out, s.planes);
    Le16(out, s.bits);
  } else {
    Le32(out, static_cast<uint32_t>(s.width));
    Le32(out, static_cast<uint32_t>(s.height));
    Le16(out, s.planes);
    Le16(out, s.bits);
    Le32(out, s.compression);
    Le32(out, s.sizeImage);
    Le32(out, 0);
    Le32(out, 0);
    Le32(out, s.colorsUsed);
    Le32(out, 0);
    out.append(s.infoSize > 40 ? s.infoSize - 40 : 0, '\0');
  }
  for (uint32_t m : s.masks)
    Le32(out, m);
  for (uint32_t c : s.colors) {
    out.push_back(static_cast<char>(c & 0xFF));
    out.push_back(static_cast<char>(c >> 8 & 0xFF));
    out.push_back(static_cast<char>(c >> 16 & 0xFF));
    if (s.infoSize != 12) out.push_back('\0');
  }
  return out + s.pixels;
}

// A 24-bit 1 x 1 bitmap of one colour (0xRRGGBB).
inline std::string Pixel24(uint32_t rgb) {
  BmpLayout s;
  s.pixels = {static_cast<char>(rgb & 0xFF), static_cast<char>(rgb >> 8 & 0xFF),
              static_cast<char>(rgb >> 16 & 0xFF), '\0'};
  return Bmp(s);
}

inline std::string Zlib(const std::string& data) {
  uLongf size = compressBound(data.size());
  std::string out(size, '\0');
  compress2(reinterpret_cast<Bytef*>(out.data()), &size,
            reinterpret_cast<const Bytef*>(data.data()), data.size(), 9);
  out.resize(size);
  return out;
}

inline std::string Container(const std::string& compressed, int32_t version = 2,
                             int64_t length = -1) {
  std::string out;
  Le32(out, static_cast<uint32_t>(version));
  Le32(out, static_cast<uint32_t>(length < 0 ? compressed.size() : length));
  return out + compressed;
}

}  // namespace qelo::skin::test
