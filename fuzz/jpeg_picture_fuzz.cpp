// The JPEG reader on arbitrary bytes (skin previews come from the network).
//
// Invariants: input is either decoded or refused with JpegError, nothing else escapes; a
// decoded picture has both sides within the cap and exactly width x height opaque pixels.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "skin/jpeg_picture.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace qelo::skin;
  try {
    const JpegPicture picture = DecodeJpeg(data, size);
    if (picture.width <= 0 || picture.height <= 0 || picture.width > kJpegMaxSide ||
        picture.height > kJpegMaxSide)
      std::abort();
    if (picture.pixels.size() != static_cast<size_t>(picture.width) * picture.height) std::abort();
    for (const uint32_t pixel : picture.pixels)
      if ((pixel >> 24) != 0xFF) std::abort();
  } catch (const JpegError&) {
  }
  return 0;
}
