// JPEG pictures as images the widgets can show, decoded by the skin core's reader.
#pragma once

#include <QImage>
#include <string>

#include "skin/jpeg_picture.h"

namespace qelo::ui {

// A copy of picture's rows as an RGB32 image (null for an empty picture).
QImage JpegToImage(const skin::JpegPicture& picture);
// Reads and decodes a JPEG file; throws skin::JpegError for a missing, damaged or huge one.
QImage ReadJpegImage(const std::string& path);

}  // namespace qelo::ui
