#include "skin_writer.h"

// clang-format off
#include <cstdio>
#include <jpeglib.h>
// clang-format on
#include <zlib.h>

#include <csetjmp>
#include <fstream>
#include <map>
#include <stdexcept>

namespace qelo::skinbuilder {

void PutU16(std::string& out, uint32_t v) {
  out.push_back(static_cast<char>(v & 0xFF));
  out.push_back(static_cast<char>(v >> 8 & 0xFF));
}

void PutU32(std::string& out, uint32_t v) {
  for (int i = 0; i < 4; ++i)
    out.push_back(static_cast<char>(v >> (8 * i) & 0xFF));
}

namespace {

uint32_t RowBytes(int width, int bits) {
  return (static_cast<uint32_t>(width) * bits + 31) / 32 * 4;
}

// File header and info header for a bitmap whose rows take `imageSize` bytes after `extra`
// bytes of colour table or masks.
std::string Headers(int width, int height, int bits, uint32_t compression, uint32_t colors,
                    uint32_t extra, uint32_t imageSize) {
  std::string out = "BM";
  const uint32_t offset = 14 + 40 + extra;
  PutU32(out, offset + imageSize);
  PutU32(out, 0);
  PutU32(out, offset);
  PutU32(out, 40);
  PutU32(out, static_cast<uint32_t>(width));
  PutU32(out, static_cast<uint32_t>(height));
  PutU16(out, 1);
  PutU16(out, static_cast<uint32_t>(bits));
  PutU32(out, compression);
  PutU32(out, imageSize);
  PutU32(out, 2835);
  PutU32(out, 2835);
  PutU32(out, colors);
  PutU32(out, 0);
  return out;
}

// Rows in file order: bottom-up unless topDown.
template <class RowWriter>
std::string Rows(int width, int height, int bits, bool topDown, RowWriter write) {
  const uint32_t stride = RowBytes(width, bits);
  std::string out;
  out.reserve(stride * height);
  for (int i = 0; i < height; ++i) {
    std::string row;
    write(topDown ? i : height - 1 - i, row);
    row.resize(stride, '\0');
    out += row;
  }
  return out;
}

}  // namespace

std::string Bmp24(const TCanvas& c, bool topDown) {
  const std::string rows = Rows(c.Width(), c.Height(), 24, topDown, [&](int y, std::string& row) {
    for (int x = 0; x < c.Width(); ++x) {
      const TRgb p = c.At(x, y);
      row.push_back(static_cast<char>(p.b));
      row.push_back(static_cast<char>(p.g));
      row.push_back(static_cast<char>(p.r));
    }
  });
  const int height = topDown ? -c.Height() : c.Height();
  return Headers(c.Width(), height, 24, 0, 0, 0, static_cast<uint32_t>(rows.size())) + rows;
}

std::string Bmp32(const TCanvas& c, bool bitFields) {
  const std::string rows = Rows(c.Width(), c.Height(), 32, false, [&](int y, std::string& row) {
    for (int x = 0; x < c.Width(); ++x)
      PutU32(row, 0xFF000000u | c.At(x, y).Packed());
  });
  std::string out = Headers(c.Width(), c.Height(), 32, bitFields ? 3 : 0, 0, bitFields ? 12 : 0,
                            static_cast<uint32_t>(rows.size()));
  if (bitFields) {
    PutU32(out, 0x00FF0000);
    PutU32(out, 0x0000FF00);
    PutU32(out, 0x000000FF);
  }
  return out + rows;
}

std::string Bmp8(const TCanvas& c) {
  std::map<uint32_t, uint8_t> index;
  std::vector<uint32_t> table;
  for (uint32_t p : c.Pixels()) {
    if (index.count(p)) continue;
    if (table.size() == 256) throw std::runtime_error("more than 256 colours for an 8-bit bitmap");
    index[p] = static_cast<uint8_t>(table.size());
    table.push_back(p);
  }
  const std::string rows = Rows(c.Width(), c.Height(), 8, false, [&](int y, std::string& row) {
    for (int x = 0; x < c.Width(); ++x)
      row.push_back(static_cast<char>(index[c.At(x, y).Packed()]));
  });
  const auto colors = static_cast<uint32_t>(table.size());
  std::string out =
      Headers(c.Width(), c.Height(), 8, 0, colors, colors * 4, static_cast<uint32_t>(rows.size()));
  for (uint32_t p : table)
    PutU32(out, p);
  return out + rows;
}

std::string Bmp1(const std::vector<bool>& on, int width, int height) {
  const std::string rows = Rows(width, height, 1, false, [&](int y, std::string& row) {
    row.assign((width + 7) / 8, '\0');
    for (int x = 0; x < width; ++x)
      if (on[static_cast<size_t>(y) * width + x]) row[x / 8] |= static_cast<char>(0x80 >> (x % 8));
  });
  std::string out = Headers(width, height, 1, 0, 2, 8, static_cast<uint32_t>(rows.size()));
  PutU32(out, 0x000000);
  PutU32(out, 0xFFFFFF);
  return out + rows;
}

std::string BodyBytes(const TBody& body) {
  std::string out;
  PutU32(out, static_cast<uint32_t>(body.code));
  for (const auto& slot : body.pictureSlots) {
    out.push_back(slot ? '\0' : '\1');
    if (slot) out += *slot;
  }
  PutU32(out, static_cast<uint32_t>(body.active.size()));
  for (const std::string& bmp : body.active)
    out += bmp;
  return out + body.text;
}

std::string Deflate(const std::string& data) {
  uLongf size = compressBound(data.size());
  std::string out(size, '\0');
  if (compress2(reinterpret_cast<Bytef*>(out.data()), &size,
                reinterpret_cast<const Bytef*>(data.data()), data.size(), 9) != Z_OK)
    throw std::runtime_error("deflate failed");
  out.resize(size);
  return out;
}

std::string ContainerFile(const std::string& compressed, int32_t version) {
  std::string out;
  PutU32(out, static_cast<uint32_t>(version));
  PutU32(out, static_cast<uint32_t>(compressed.size()));
  return out + compressed;
}

namespace {

struct TJpegError {
  jpeg_error_mgr mgr;
  std::jmp_buf jump;
};

// The compressor and its output buffer, released however encoding ends.
struct TJpegEncoder {
  jpeg_compress_struct info{};
  TJpegError error{};
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  ~TJpegEncoder() {
    jpeg_destroy_compress(&info);
    std::free(buffer);
  }
};

}  // namespace

std::string JpegBytes(const TCanvas& c, int quality) {
  TJpegEncoder enc;
  enc.info.err = jpeg_std_error(&enc.error.mgr);
  enc.error.mgr.error_exit = [](j_common_ptr info) {
    std::longjmp(reinterpret_cast<TJpegError*>(info->err)->jump, 1);
  };
  // Nothing with a destructor lives between here and the jump target.
  std::vector<unsigned char> row(static_cast<size_t>(c.Width()) * 3);
  if (setjmp(enc.error.jump)) throw std::runtime_error("JPEG encoding failed");
  jpeg_create_compress(&enc.info);
  jpeg_mem_dest(&enc.info, &enc.buffer, &enc.size);
  enc.info.image_width = static_cast<JDIMENSION>(c.Width());
  enc.info.image_height = static_cast<JDIMENSION>(c.Height());
  enc.info.input_components = 3;
  enc.info.in_color_space = JCS_RGB;
  jpeg_set_defaults(&enc.info);
  jpeg_set_quality(&enc.info, quality, TRUE);
  jpeg_start_compress(&enc.info, TRUE);
  for (int y = 0; y < c.Height(); ++y) {
    for (int x = 0; x < c.Width(); ++x) {
      const TRgb p = c.At(x, y);
      row[3 * x] = p.r;
      row[3 * x + 1] = p.g;
      row[3 * x + 2] = p.b;
    }
    JSAMPROW rows[1] = {row.data()};
    jpeg_write_scanlines(&enc.info, rows, 1);
  }
  jpeg_finish_compress(&enc.info);
  return std::string(reinterpret_cast<const char*>(enc.buffer), enc.size);
}

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out.flush()) throw std::runtime_error("cannot write " + path);
}

}  // namespace qelo::skinbuilder
