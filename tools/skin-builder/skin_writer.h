// Writing the pieces of a skin container: bitmap file images, the body, the zlib stream, the
// container file, and JPEG preview pictures. Used by the skin builder and by tests that need
// real skins.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "canvas.h"

namespace qelo::skinbuilder {

// Bitmap file images, stored without gaps: file header, 40-byte info header, colour table or
// masks, rows padded to 4 bytes (bottom-up unless topDown).
std::string Bmp24(const TCanvas& c, bool topDown = false);
std::string Bmp32(const TCanvas& c, bool bitFields = false);
// 8 bits per pixel with a colour table of the canvas's distinct colours (at most 256).
std::string Bmp8(const TCanvas& c);
// 1 bit per pixel, black (0) and white (1); `on` holds width * height values, rows top-down.
std::string Bmp1(const std::vector<bool>& on, int width, int height);

// The decompressed body: picture-set code, the picture slots the code calls for (nothing: an
// empty slot, flag 1), the active pictures, the skin text.
struct TBody {
  int32_t code = 3;
  std::vector<std::optional<std::string>> pictureSlots;
  std::vector<std::string> active;
  std::string text;
};
std::string BodyBytes(const TBody& body);

// One zlib stream at the highest compression level.
std::string Deflate(const std::string& data);
// version, length, compressed body.
std::string ContainerFile(const std::string& compressed, int32_t version = 2);

// A baseline JPEG of the canvas.
std::string JpegBytes(const TCanvas& c, int quality = 90);

void PutU16(std::string& out, uint32_t v);
void PutU32(std::string& out, uint32_t v);
void WriteFile(const std::string& path, const std::string& bytes);

}  // namespace qelo::skinbuilder
