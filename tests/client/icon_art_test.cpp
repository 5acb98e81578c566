#include "icon_art.h"

#include <gtest/gtest.h>

#include <QColor>
#include <regex>

namespace qelo::iconpainter {
namespace {

// The PNG sizes and the SVG come from one geometry: the same colours at the same places.
TEST(IconArt, PicturesOfEverySizeAndTheSvgShowOneDrawing) {
  const auto shapes = IconShapes();
  const std::string svg = IconSvg(shapes);
  const std::regex element("<(rect|circle|line) ");
  const std::ptrdiff_t elements =
      std::distance(std::sregex_iterator(svg.begin(), svg.end(), element), std::sregex_iterator());
  EXPECT_EQ(elements, static_cast<std::ptrdiff_t>(shapes.size()));
  EXPECT_NE(svg.find("viewBox=\"0 0 256 256\""), std::string::npos);
  for (int size : {16, 48, 256}) {
    SCOPED_TRACE(size);
    const QImage image = PaintIcon(shapes, size);
    ASSERT_EQ(image.size(), QSize(size, size));
    const auto at = [&](double x, double y) {
      return image.pixelColor(static_cast<int>(x * size / kCanvas),
                              static_cast<int>(y * size / kCanvas));
    };
    EXPECT_EQ(at(1, 1).alpha(), 0) << "a transparent corner";
    EXPECT_EQ(at(40, 220).name(), QStringLiteral("#2463c9")) << "the tile";
    EXPECT_EQ(at(70, 140).name(), QStringLiteral("#ffffff")) << "the cloud";
    EXPECT_EQ(at(148, 156).name(), QStringLiteral("#dbe8fb")) << "the lens";
    EXPECT_NE(svg.find("fill=\"" + at(40, 220).name().toStdString() + "\""), std::string::npos);
  }
}

}  // namespace
}  // namespace qelo::iconpainter
