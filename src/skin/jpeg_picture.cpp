#include "skin/jpeg_picture.h"

#include <bit>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <fstream>

// The library's header needs size_t and FILE declared first.
#include <jpeglib.h>

namespace qelo::skin {

namespace {

// Memory the library may take for its own buffers (progressive pictures keep every
// coefficient); beyond it the picture is refused instead of spilling to a temporary file.
constexpr long kLibraryMemoryCap = 256L << 20;
// A progressive picture may carry any number of scans; each one costs a pass over the image.
constexpr int kMaxScans = 500;

struct ErrorManager {
  jpeg_error_mgr pub;
  std::jmp_buf jump;
  char message[JMSG_LENGTH_MAX + 64];
};

ErrorManager& ErrorsOf(j_common_ptr cinfo) {
  return *reinterpret_cast<ErrorManager*>(cinfo->err);
}

extern "C" void OnLibraryError(j_common_ptr cinfo) {
  ErrorManager& errors = ErrorsOf(cinfo);
  (*cinfo->err->format_message)(cinfo, errors.message);
  std::longjmp(errors.jump, 1);
}

// Warnings (level -1) mean damaged data the library would paper over, a truncated file
// among them; they end the decoding like errors. Trace messages are ignored.
extern "C" void OnLibraryMessage(j_common_ptr cinfo, int level) {
  if (level < 0) OnLibraryError(cinfo);
}

extern "C" void OnProgress(j_common_ptr cinfo) {
  if (cinfo->is_decompressor &&
      reinterpret_cast<j_decompress_ptr>(cinfo)->input_scan_number > kMaxScans) {
    ErrorManager& errors = ErrorsOf(cinfo);
    std::snprintf(errors.message, sizeof errors.message, "more than %d scans", kMaxScans);
    std::longjmp(errors.jump, 1);
  }
}

// Runs one step of library calls. A library error long-jumps back here, so neither this frame
// nor step's may hold an object with a destructor: steps only call the library.
template <class Step>
bool Guarded(ErrorManager& errors, const Step& step) {
  if (setjmp(errors.jump)) return false;
  step();
  return true;
}

// The decompress state for one picture, destroyed on every way out.
class Decompressor {
 public:
  Decompressor() {
    std::memset(&cinfo_, 0, sizeof cinfo_);
    std::memset(&errors_, 0, sizeof errors_);
    cinfo_.err = jpeg_std_error(&errors_.pub);
    errors_.pub.error_exit = OnLibraryError;
    errors_.pub.emit_message = OnLibraryMessage;
    progress_.progress_monitor = OnProgress;
  }
  ~Decompressor() {
    if (created_) jpeg_destroy_decompress(&cinfo_);
  }
  Decompressor(const Decompressor&) = delete;
  Decompressor& operator=(const Decompressor&) = delete;

  template <class Step>
  void Run(const Step& step) {
    if (!Guarded(errors_, step))
      throw JpegError(std::string("JPEG picture is damaged: ") + errors_.message);
  }

  void Create(const std::uint8_t* data, std::size_t size) {
    created_ = true;
    Run([&] {
      jpeg_create_decompress(&cinfo_);
      cinfo_.progress = &progress_;
      cinfo_.mem->max_memory_to_use = kLibraryMemoryCap;
      jpeg_mem_src(&cinfo_, data, static_cast<unsigned long>(size));
    });
  }

  jpeg_decompress_struct& Info() { return cinfo_; }

 private:
  jpeg_decompress_struct cinfo_;
  ErrorManager errors_;
  jpeg_progress_mgr progress_{};
  bool created_ = false;
};

// Bytes B, G, R, A in memory make the 32-bit value 0xAARRGGBB on a little-endian machine.
constexpr J_COLOR_SPACE kPixelLayout =
    std::endian::native == std::endian::little ? JCS_EXT_BGRA : JCS_EXT_ARGB;

}  // namespace

JpegPicture DecodeJpeg(const std::uint8_t* data, std::size_t size) {
  if (size == 0) throw JpegError("JPEG picture is empty");
  Decompressor decoder;
  decoder.Create(data, size);
  jpeg_decompress_struct& info = decoder.Info();

  int header = 0;
  decoder.Run([&] { header = jpeg_read_header(&info, TRUE); });
  if (header != JPEG_HEADER_OK) throw JpegError("JPEG picture has no image");
  if (info.image_width == 0 || info.image_height == 0 ||
      info.image_width > static_cast<JDIMENSION>(kJpegMaxSide) ||
      info.image_height > static_cast<JDIMENSION>(kJpegMaxSide))
    throw JpegError("JPEG picture is too large (" + std::to_string(info.image_width) + " x " +
                    std::to_string(info.image_height) + ")");

  info.out_color_space = kPixelLayout;
  decoder.Run([&] { jpeg_start_decompress(&info); });
  if (info.output_width != info.image_width || info.output_height != info.image_height ||
      info.output_components != 4)
    throw JpegError("JPEG picture has an unexpected layout");

  JpegPicture picture;
  picture.width = static_cast<int>(info.output_width);
  picture.height = static_cast<int>(info.output_height);
  picture.pixels.resize(static_cast<std::size_t>(picture.width) * picture.height);
  std::uint32_t* const rows = picture.pixels.data();
  const JDIMENSION width = info.output_width;
  decoder.Run([&] {
    while (info.output_scanline < info.output_height) {
      JSAMPROW row = reinterpret_cast<JSAMPROW>(rows + info.output_scanline * width);
      if (jpeg_read_scanlines(&info, &row, 1) != 1) break;
    }
  });
  if (info.output_scanline != info.output_height) throw JpegError("JPEG picture is truncated");
  decoder.Run([&] { jpeg_finish_decompress(&info); });
  return picture;
}

JpegPicture ReadJpegFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary | std::ios::ate);
  if (!file) throw JpegError("Cannot open file \"" + path + "\"");
  const std::streamoff length = file.tellg();
  if (length < 0) throw JpegError("Cannot read file \"" + path + "\"");
  if (static_cast<std::uintmax_t>(length) > kJpegMaxFileBytes)
    throw JpegError("JPEG file is too large: \"" + path + "\"");
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(length));
  file.seekg(0);
  if (!bytes.empty() && !file.read(reinterpret_cast<char*>(bytes.data()), length))
    throw JpegError("Cannot read file \"" + path + "\"");
  return DecodeJpeg(bytes.data(), bytes.size());
}

}  // namespace qelo::skin
