#include "ui/jpeg_image.h"

#include <gtest/gtest.h>

#include <QColor>

namespace qelo::ui {
namespace {

TEST(JpegImage, RowsBecomeAnImageOfTheSameColours) {
  skin::JpegPicture picture;
  picture.width = 3;
  picture.height = 2;
  picture.pixels = {0xffff0000, 0xff00ff00, 0xff0000ff, 0xff102030, 0xff405060, 0xffffffff};
  const QImage image = JpegToImage(picture);
  ASSERT_EQ(image.size(), QSize(3, 2));
  EXPECT_EQ(QColor(image.pixel(0, 0)), QColor(255, 0, 0));
  EXPECT_EQ(QColor(image.pixel(2, 0)), QColor(0, 0, 255));
  EXPECT_EQ(QColor(image.pixel(0, 1)), QColor(0x10, 0x20, 0x30));
  EXPECT_TRUE(JpegToImage(skin::JpegPicture{}).isNull());
}

TEST(JpegImage, InstalledLoadingPictureDecodes) {
  const QImage image = ReadJpegImage(QELO_SOURCE_DIR "/res/loading.jpg");
  EXPECT_FALSE(image.isNull());
  EXPECT_THROW(ReadJpegImage(QELO_SOURCE_DIR "/res/no-such-picture.jpg"), skin::JpegError);
}

}  // namespace
}  // namespace qelo::ui
