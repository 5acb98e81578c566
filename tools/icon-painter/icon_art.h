// The application icon as plain geometry on a 256 x 256 canvas: a blue tile, a white cloud (the
// netdisk) and an amber magnifying glass (the search). The same shapes are painted into PNG
// pictures of any size and written out as SVG text, so both always show the same drawing.
#pragma once

#include <QImage>
#include <string>
#include <vector>

namespace qelo::iconpainter {

inline constexpr double kCanvas = 256.0;

struct Shape {
  enum Kind { kRoundRect, kCircle, kLine };
  Kind kind = kCircle;
  // kRoundRect: x, y, w, h, radius. kCircle: cx, cy, r. kLine: x1, y1, x2, y2.
  double a = 0, b = 0, c = 0, d = 0, e = 0;
  const char* fill = nullptr;    // "#rrggbb", or none
  const char* stroke = nullptr;  // "#rrggbb", or none
  double strokeWidth = 0;        // lines and outlines end in round caps
};

// The drawing, back to front.
std::vector<Shape> IconShapes();

// The shapes painted into a size x size picture with a transparent background, antialiased.
QImage PaintIcon(const std::vector<Shape>& shapes, int size);

// The shapes as a complete SVG document with a 256 x 256 view box.
std::string IconSvg(const std::vector<Shape>& shapes);

}  // namespace qelo::iconpainter
