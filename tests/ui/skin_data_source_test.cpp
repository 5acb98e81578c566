#include "ui/skin_data_source.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <QApplication>
#include <QPushButton>
#include <cstdint>
#include <string>

#include "skin/compressed_stored_skin.h"
#include "ui/skin_style.h"

namespace qelo::ui {
namespace {

void PutInt(std::string& out, uint32_t v, int bytes) {
  for (int i = 0; i < bytes; ++i)
    out += static_cast<char>((v >> (8 * i)) & 0xFF);
}

// A 24-bit bitmap file image of one colour, stored without gaps.
std::string SolidBitmap(int width, int height, uint8_t r, uint8_t g, uint8_t b) {
  const int rowBytes = (width * 3 + 3) / 4 * 4;
  std::string out = "BM";
  PutInt(out, 14 + 40 + rowBytes * height, 4);
  PutInt(out, 0, 4);
  PutInt(out, 14 + 40, 4);
  PutInt(out, 40, 4);
  PutInt(out, width, 4);
  PutInt(out, height, 4);
  PutInt(out, 1, 2);
  PutInt(out, 24, 2);
  PutInt(out, 0, 4);
  PutInt(out, rowBytes * height, 4);
  for (int i = 0; i < 4; ++i)
    PutInt(out, 0, 4);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x)
      out += {static_cast<char>(b), static_cast<char>(g), static_cast<char>(r)};
    out.append(rowBytes - width * 3, '\0');
  }
  return out;
}

// A container body with a red main picture, a green active picture and the given text.
std::string CompressedBody(const std::string& text) {
  std::string body;
  PutInt(body, 0, 4);  // picture and mask only
  body += '\0';
  body += SolidBitmap(20, 20, 200, 30, 30);
  body += '\1';  // no mask
  PutInt(body, 1, 4);
  body += SolidBitmap(20, 20, 30, 160, 40);
  body += text;
  uLongf size = compressBound(body.size());
  std::string out(size, '\0');
  compress2(reinterpret_cast<Bytef*>(out.data()), &size,
            reinterpret_cast<const Bytef*>(body.data()), body.size(), 9);
  out.resize(size);
  return out;
}

TEST(SkinDataSource, HolderNoticesInstallTheSkinInEveryWindow) {
  skin::TskSkinData holder;
  TSkinStyleFollower follower;
  holder.AddListener(&follower);
  skin::TskCompressedStoredSkin container;
  container.CompressedData = CompressedBody(
      "[SKINCONTROLS]\r\ncount=2\r\n0=button:button\r\n1=edit:edit\r\n"
      "[button]\r\nskinrect=0,0,20,20\r\n"
      "[edit]\r\npicture=0\r\nskinrect=0,0,20,20\r\n"
      "[panel]\r\nskinrect=0,0,20,20\r\n");  // not listed: no look
  holder.ApplyContainer(container);
  ASSERT_FALSE(holder.Empty());
  ASSERT_NE(CurrentSkinStyle(), nullptr);
  const SkinLook* look = CurrentSkinStyle()->Look();
  ASSERT_NE(look, nullptr);
  EXPECT_NE(look->Part("button"), nullptr);
  EXPECT_NE(look->Part("edit"), nullptr);
  EXPECT_EQ(look->Part("panel"), nullptr);

  QWidget top;
  top.resize(200, 100);
  QPushButton button(QStringLiteral("OK"), &top);
  button.setFocusPolicy(Qt::NoFocus);
  button.setGeometry(10, 10, 75, 25);
  top.show();
  const QImage image = button.grab().toImage().convertToFormat(QImage::Format_RGB32);
  EXPECT_EQ(QColor(image.pixel(5, 5)), QColor(200, 30, 30));
  holder.RemoveListener(&follower);
  RemoveSkinStyle();
}

TEST(SkinDataSource, BitmapRowsBecomeAnImage) {
  skin::TSkinBitmap bitmap;
  bitmap.width = 2;
  bitmap.height = 1;
  bitmap.pixels = {0xFF102030, 0xFFFFFFFF};
  const QImage image = SkinBitmapToImage(bitmap);
  ASSERT_EQ(image.size(), QSize(2, 1));
  EXPECT_EQ(QColor(image.pixel(0, 0)), QColor(0x10, 0x20, 0x30));
  bitmap.pixels.pop_back();  // rows shorter than the size claims
  EXPECT_TRUE(SkinBitmapToImage(bitmap).isNull());
}

}  // namespace
}  // namespace qelo::ui
