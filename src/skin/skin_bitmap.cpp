#include "skin/skin_bitmap.h"

#include <bit>
#include <cstdlib>

namespace qelo::skin {

namespace {

constexpr uint32_t kRgb = 0;
constexpr uint32_t kBitFields = 3;
constexpr uint32_t kCoreHeaderSize = 12;
constexpr uint32_t kInfoHeaderSize = 40;
// Later header versions are at most 124 bytes; anything far larger is not a header.
constexpr uint32_t kMaxInfoHeaderSize = 4096;
constexpr uint32_t kMaxColors = 256;

struct THeader {
  int64_t width = 0;
  int64_t height = 0;  // negative: rows stored top-down
  uint32_t planes = 0;
  uint32_t bitCount = 0;
  uint32_t compression = kRgb;
  uint32_t sizeImage = 0;
  uint32_t colorsUsed = 0;
  bool core = false;
};

// One colour channel taken out of a packed pixel through its mask, scaled to 8 bits.
struct TChannel {
  uint32_t mask = 0;
  int shift = 0;
  uint32_t max = 0;

  explicit TChannel(uint32_t m) : mask(m), shift(std::countr_zero(m)), max(m >> shift) {}
  uint32_t Get(uint32_t v) const { return ((v & mask) >> shift) * 255u / max; }
};

constexpr uint32_t Rgb(uint32_t r, uint32_t g, uint32_t b) {
  return 0xFF000000u | r << 16 | g << 8 | b;
}

THeader ReadInfoHeader(TByteReader& in) {
  THeader h;
  const uint32_t size = in.U32();
  if (size == kCoreHeaderSize) {
    h.core = true;
    h.width = in.U16();
    h.height = in.U16();
    h.planes = in.U16();
    h.bitCount = in.U16();
    return h;
  }
  if (size < kInfoHeaderSize || size > kMaxInfoHeaderSize) throw EInvalidGraphic();
  h.width = in.I32();
  h.height = in.I32();
  h.planes = in.U16();
  h.bitCount = in.U16();
  h.compression = in.U32();
  h.sizeImage = in.U32();
  in.Take(8);  // resolution
  h.colorsUsed = in.U32();
  in.Take(4);  // important colours
  in.Take(size - kInfoHeaderSize);
  return h;
}

void CheckHeader(const THeader& h) {
  if (h.planes != 1) throw EInvalidGraphic();
  switch (h.bitCount) {
    case 1:
    case 4:
    case 8:
    case 24:
      if (h.compression != kRgb) throw EInvalidGraphic();
      break;
    case 16:
    case 32:
      if (h.compression != kRgb && h.compression != kBitFields) throw EInvalidGraphic();
      break;
    default:
      throw EInvalidGraphic();
  }
  if (h.width < 0 || h.width > kMaxBitmapSide) throw EInvalidGraphic();
  if (h.height < -kMaxBitmapSide || h.height > kMaxBitmapSide) throw EInvalidGraphic();
}

std::vector<uint32_t> ReadColorTable(TByteReader& in, const THeader& h) {
  uint64_t count = h.colorsUsed;
  if (count == 0 && h.bitCount <= 8) count = uint64_t{1} << h.bitCount;
  if (count > kMaxColors) throw EInvalidGraphic();
  const uint64_t entrySize = h.core ? 3 : 4;
  const std::string_view table = in.Take(count * entrySize);
  std::vector<uint32_t> colors(static_cast<size_t>(count));
  for (size_t i = 0; i < colors.size(); ++i) {
    const auto* e = reinterpret_cast<const uint8_t*>(table.data() + i * entrySize);
    colors[i] = Rgb(e[2], e[1], e[0]);
  }
  return colors;
}

uint32_t Le(const uint8_t* p, int bytes) {
  uint32_t v = 0;
  for (int i = bytes - 1; i >= 0; --i)
    v = v << 8 | p[i];
  return v;
}

// Decodes one stored row into `out` (width pixels).
void DecodeRow(const uint8_t* row, const THeader& h, const std::vector<uint32_t>& colors,
               const TChannel* masks, uint32_t* out) {
  const int64_t width = h.width;
  const auto indexed = [&](uint32_t i) { return i < colors.size() ? colors[i] : Rgb(0, 0, 0); };
  switch (h.bitCount) {
    case 1:
      for (int64_t x = 0; x < width; ++x)
        out[x] = indexed(row[x >> 3] >> (7 - (x & 7)) & 1u);
      break;
    case 4:
      for (int64_t x = 0; x < width; ++x)
        out[x] = indexed((x & 1) ? row[x >> 1] & 0x0Fu : row[x >> 1] >> 4);
      break;
    case 8:
      for (int64_t x = 0; x < width; ++x)
        out[x] = indexed(row[x]);
      break;
    case 24:
      for (int64_t x = 0; x < width; ++x)
        out[x] = Rgb(row[3 * x + 2], row[3 * x + 1], row[3 * x]);
      break;
    case 16:
    case 32: {
      const int bytes = static_cast<int>(h.bitCount / 8);
      for (int64_t x = 0; x < width; ++x) {
        const uint32_t v = Le(row + bytes * x, bytes);
        out[x] = Rgb(masks[0].Get(v), masks[1].Get(v), masks[2].Get(v));
      }
      break;
    }
  }
}

}  // namespace

TSkinBitmap ReadBitmap(TByteReader& in, TPixelBudget& budget) {
  const std::string_view signature = in.Take(2);
  if (signature != "BM") throw EInvalidGraphic();
  in.Take(12);  // file size, reserved, pixel offset: the layout alone places the rows

  const THeader h = ReadInfoHeader(in);
  CheckHeader(h);

  uint32_t maskValues[3] = {0x7C00, 0x03E0, 0x001F};
  if (h.bitCount == 32) {
    maskValues[0] = 0x00FF0000;
    maskValues[1] = 0x0000FF00;
    maskValues[2] = 0x000000FF;
  }
  if (h.compression == kBitFields) {
    for (uint32_t& m : maskValues) {
      m = in.U32();
      if (m == 0) throw EInvalidGraphic();
      if (h.bitCount == 16 && m > 0xFFFF) throw EInvalidGraphic();
    }
  }
  const std::vector<uint32_t> colors = ReadColorTable(in, h);

  const int64_t rows = std::llabs(h.height);
  const int64_t rowBytes = (h.width * h.bitCount + 31) / 32 * 4;
  const int64_t needed = rowBytes * rows;
  const int64_t stored = h.sizeImage != 0 ? int64_t{h.sizeImage} : needed;
  if (stored < needed) throw EInvalidGraphic();
  const int64_t pixelCount = h.width * rows;
  if (pixelCount > budget.left) throw EInvalidGraphic();
  const std::string_view data = in.Take(static_cast<uint64_t>(stored));
  budget.left -= pixelCount;

  TSkinBitmap bmp;
  bmp.width = static_cast<int>(h.width);
  bmp.height = static_cast<int>(rows);
  bmp.bitCount = static_cast<int>(h.bitCount);
  bmp.pixels.resize(static_cast<size_t>(pixelCount));
  const TChannel masks[3] = {TChannel(maskValues[0]), TChannel(maskValues[1]),
                             TChannel(maskValues[2])};
  const bool topDown = h.height < 0;
  for (int64_t y = 0; y < rows; ++y) {
    const int64_t source = topDown ? y : rows - 1 - y;
    const auto* row = reinterpret_cast<const uint8_t*>(data.data() + source * rowBytes);
    DecodeRow(row, h, colors, masks, bmp.pixels.data() + y * h.width);
  }
  return bmp;
}

}  // namespace qelo::skin
