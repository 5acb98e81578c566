// JPEG pictures decoded into drawing-ready rows. Damaged, truncated or oversized input gives a
// JpegError with a message; the decoder never allocates for a picture larger than the cap and
// never lets a library error unwind through its own frames.
#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace qelo::skin {

class JpegError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Largest width or height accepted; anything larger is refused after the header is read.
constexpr int kJpegMaxSide = 8192;
// Files larger than this are not read at all.
constexpr std::size_t kJpegMaxFileBytes = 64u << 20;

struct JpegPicture {
  int width = 0;
  int height = 0;
  // width * height pixels, rows top to bottom, each 0xffRRGGBB (opaque, 32 bits per pixel).
  std::vector<std::uint32_t> pixels;
};

JpegPicture DecodeJpeg(const std::uint8_t* data, std::size_t size);
inline JpegPicture DecodeJpeg(std::string_view bytes) {
  return DecodeJpeg(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
}
// Reads and decodes the file at path; a file that cannot be read is a JpegError too.
JpegPicture ReadJpegFile(const std::string& path);

}  // namespace qelo::skin
