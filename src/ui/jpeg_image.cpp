#include "ui/jpeg_image.h"

#include <cstring>

namespace qelo::ui {

QImage JpegToImage(const skin::JpegPicture& picture) {
  if (picture.width <= 0 || picture.height <= 0) return {};
  QImage image(picture.width, picture.height, QImage::Format_RGB32);
  if (image.isNull()) return {};
  const size_t rowBytes = static_cast<size_t>(picture.width) * sizeof(std::uint32_t);
  for (int y = 0; y < picture.height; ++y)
    std::memcpy(image.scanLine(y), picture.pixels.data() + static_cast<size_t>(y) * picture.width,
                rowBytes);
  return image;
}

QImage ReadJpegImage(const std::string& path) {
  return JpegToImage(skin::ReadJpegFile(path));
}

}  // namespace qelo::ui
