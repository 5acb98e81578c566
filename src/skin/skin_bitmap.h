// Device-independent bitmap images as a skin body stores them, decoded once into 32-bit pixels
// (0xFFRRGGBB, rows top-down) that drawing can use as they are.
#pragma once

#include <cstdint>
#include <vector>

#include "skin/byte_reader.h"

namespace qelo::skin {

// Largest width or height a skin bitmap may have.
inline constexpr int64_t kMaxBitmapSide = 16384;
// Largest number of decoded pixels all bitmaps of one body may have together (1 GiB of pixels
// would otherwise hide behind a few MB of 1-bit rows).
inline constexpr int64_t kMaxBodyPixels = int64_t{64} << 20;

struct TSkinBitmap {
  int width = 0;
  int height = 0;
  int bitCount = 0;              // bits per pixel of the stored image
  std::vector<uint32_t> pixels;  // width * height, row after row from the top

  uint32_t Pixel(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
};

// How many pixels the bitmaps of one body may still decode to; shared by a body's reads.
struct TPixelBudget {
  int64_t left = kMaxBodyPixels;
};

// Reads one bitmap file image at the reader's position, strictly in sequence: the 14-byte file
// header ("BM"), the info header (12 bytes: core layout with 3-byte colour entries; otherwise
// the standard layout with 4-byte entries), three colour masks for 16 or 32 bits with bit-field
// compression, the colour table, the pixel rows. Raises EInvalidGraphic for anything it cannot
// decode safely (wrong signature, planes not 1, run-length or unknown compression, a zero mask,
// more than 256 colours, a side past kMaxBitmapSide, pixels past the budget, an image-size field
// too small for the rows) and EReadError when the bytes run out.
TSkinBitmap ReadBitmap(TByteReader& in, TPixelBudget& budget);

}  // namespace qelo::skin
