#include "skin/jpeg_picture.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include <jpeglib.h>

namespace qelo::skin {
namespace {

enum class Kind { Baseline, Progressive, Gray, ManyScans };

// Encodes a width x height picture whose red rises left to right and green top to bottom.
std::string Encode(int width, int height, Kind kind = Kind::Baseline) {
  jpeg_compress_struct cinfo{};
  jpeg_error_mgr err{};
  cinfo.err = jpeg_std_error(&err);
  jpeg_create_compress(&cinfo);
  unsigned char* out = nullptr;
  unsigned long outSize = 0;
  jpeg_mem_dest(&cinfo, &out, &outSize);
  cinfo.image_width = static_cast<JDIMENSION>(width);
  cinfo.image_height = static_cast<JDIMENSION>(height);
  const bool gray = kind == Kind::Gray || kind == Kind::ManyScans;
  cinfo.input_components = gray ? 1 : 3;
  cinfo.in_color_space = gray ? JCS_GRAYSCALE : JCS_RGB;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, 95, TRUE);
  if (kind == Kind::Progressive) jpeg_simple_progression(&cinfo);
  // A valid progressive script of 631 scans: the DC scan, then every AC coefficient on its
  // own, sent one bit at a time from bit 9 down.
  std::vector<jpeg_scan_info> script;
  if (kind == Kind::ManyScans) {
    script.push_back({1, {0}, 0, 0, 0, 0});
    for (int band = 1; band < 64; ++band) {
      script.push_back({1, {0}, band, band, 0, 9});
      for (int bit = 9; bit > 0; --bit)
        script.push_back({1, {0}, band, band, bit, bit - 1});
    }
    cinfo.scan_info = script.data();
    cinfo.num_scans = static_cast<int>(script.size());
  }
  jpeg_start_compress(&cinfo, TRUE);
  std::vector<unsigned char> row(static_cast<size_t>(width) * cinfo.input_components);
  while (cinfo.next_scanline < cinfo.image_height) {
    const int y = static_cast<int>(cinfo.next_scanline);
    for (int x = 0; x < width; ++x) {
      if (gray) {
        row[x] = static_cast<unsigned char>(x * 255 / std::max(1, width - 1));
      } else {
        row[x * 3] = static_cast<unsigned char>(x * 255 / std::max(1, width - 1));
        row[x * 3 + 1] = static_cast<unsigned char>(y * 255 / std::max(1, height - 1));
        row[x * 3 + 2] = 64;
      }
    }
    JSAMPROW pointer = row.data();
    jpeg_write_scanlines(&cinfo, &pointer, 1);
  }
  jpeg_finish_compress(&cinfo);
  jpeg_destroy_compress(&cinfo);
  std::string bytes(reinterpret_cast<char*>(out), outSize);
  std::free(out);
  return bytes;
}

// The same picture with the frame header claiming another size.
std::string WithSize(std::string jpeg, int width, int height) {
  for (size_t i = 0; i + 9 < jpeg.size(); ++i) {
    const auto marker = static_cast<unsigned char>(jpeg[i + 1]);
    if (static_cast<unsigned char>(jpeg[i]) == 0xFF && (marker == 0xC0 || marker == 0xC2)) {
      jpeg[i + 5] = static_cast<char>(height >> 8);
      jpeg[i + 6] = static_cast<char>(height & 0xFF);
      jpeg[i + 7] = static_cast<char>(width >> 8);
      jpeg[i + 8] = static_cast<char>(width & 0xFF);
      return jpeg;
    }
  }
  ADD_FAILURE() << "no frame header";
  return jpeg;
}

int Red(uint32_t p) {
  return (p >> 16) & 0xFF;
}
int Green(uint32_t p) {
  return (p >> 8) & 0xFF;
}
int Blue(uint32_t p) {
  return p & 0xFF;
}

TEST(JpegPicture, DecodesValidPictures) {
  struct Case {
    const char* name;
    Kind kind;
    int width, height;
  };
  const Case cases[] = {{"baseline", Kind::Baseline, 64, 48},
                        {"progressive", Kind::Progressive, 33, 17},
                        {"grayscale", Kind::Gray, 40, 8},
                        {"widest accepted", Kind::Baseline, kJpegMaxSide, 8}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const JpegPicture picture = DecodeJpeg(Encode(c.width, c.height, c.kind));
    ASSERT_EQ(picture.width, c.width);
    ASSERT_EQ(picture.height, c.height);
    ASSERT_EQ(picture.pixels.size(), static_cast<size_t>(c.width) * c.height);
    const uint32_t last = picture.pixels.back();  // bottom right: full red (and green)
    const uint32_t first = picture.pixels.front();
    EXPECT_EQ(last >> 24, 0xFFu);
    EXPECT_EQ(first >> 24, 0xFFu);
    EXPECT_NEAR(Red(first), 0, 12);
    EXPECT_NEAR(Red(last), 255, 12);
    if (c.kind == Kind::Gray) {
      EXPECT_EQ(Red(last), Green(last));
      EXPECT_EQ(Red(last), Blue(last));
    } else {
      EXPECT_NEAR(Green(last), 255, 12);
      EXPECT_NEAR(Blue(last), 64, 12);
    }
  }
}

TEST(JpegPicture, RefusesDamagedTruncatedAndHugePictures) {
  const std::string good = Encode(48, 32);
  std::string hitMarker = good;
  hitMarker[hitMarker.size() - 40] = static_cast<char>(0xFF);
  hitMarker[hitMarker.size() - 39] = static_cast<char>(0xD9);
  std::string noComponents = good;
  for (size_t i = 0; i + 9 < noComponents.size(); ++i)
    if (static_cast<unsigned char>(noComponents[i]) == 0xFF &&
        static_cast<unsigned char>(noComponents[i + 1]) == 0xC0) {
      noComponents[i + 9] = 0;
      break;
    }
  struct Case {
    const char* name;
    std::string bytes;
    const char* message;
  };
  const Case cases[] = {
      {"empty", "", "empty"},
      {"not a JPEG", "GIF89a not a picture at all", "damaged"},
      {"start marker only", good.substr(0, 2), "damaged"},
      {"cut inside the headers", good.substr(0, 100), "damaged"},
      {"cut in the middle", good.substr(0, good.size() / 2), "damaged"},
      {"end marker missing", good.substr(0, good.size() - 2), "damaged"},
      {"marker inside the image data", hitMarker, "damaged"},
      {"frame without components", noComponents, "damaged"},
      {"just over the side cap", WithSize(Encode(16, 8), kJpegMaxSide + 1, 8), "too large"},
      {"huge both ways", WithSize(good, 60000, 60000), "too large"},
      {"huge progressive", WithSize(Encode(16, 16, Kind::Progressive), 20000, 9000), "too large"},
      {"zero height", WithSize(good, 48, 0), "damaged"},
      {"hundreds of scans", Encode(8, 8, Kind::ManyScans), "more than 500 scans"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    try {
      DecodeJpeg(c.bytes);
      ADD_FAILURE() << "decoded";
    } catch (const JpegError& e) {
      EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
    }
  }
}

TEST(JpegPicture, ReadsFilesAndReportsMissingOnes) {
  const std::string path = testing::TempDir() + "qelo_jpeg_picture_test.jpg";
  {
    std::ofstream out(path, std::ios::binary);
    out << Encode(20, 10);
  }
  const JpegPicture picture = ReadJpegFile(path);
  EXPECT_EQ(picture.width, 20);
  EXPECT_EQ(picture.height, 10);
  std::remove(path.c_str());
  EXPECT_THROW(ReadJpegFile(path), JpegError);
  {
    std::ofstream out(path, std::ios::binary);  // an empty file, as a failed download leaves
  }
  EXPECT_THROW(ReadJpegFile(path), JpegError);
  std::remove(path.c_str());
}

}  // namespace
}  // namespace qelo::skin
