#include "icon_art.h"

#include <QColor>
#include <QPainter>
#include <QPen>
#include <sstream>

namespace qelo::iconpainter {

namespace {

constexpr const char* kTile = "#2463c9";
constexpr const char* kCloud = "#ffffff";
constexpr const char* kGlass = "#ffb020";
constexpr const char* kLens = "#dbe8fb";

QPen PenOf(const Shape& s) {
  if (!s.stroke) return Qt::NoPen;
  QPen pen{QColor(QString::fromLatin1(s.stroke)), s.strokeWidth};
  pen.setCapStyle(Qt::RoundCap);
  return pen;
}

void PaintShape(QPainter& p, const Shape& s) {
  p.setPen(PenOf(s));
  p.setBrush(s.fill ? QBrush(QColor(QString::fromLatin1(s.fill))) : QBrush(Qt::NoBrush));
  switch (s.kind) {
    case Shape::kRoundRect:
      p.drawRoundedRect(QRectF(s.a, s.b, s.c, s.d), s.e, s.e);
      break;
    case Shape::kCircle:
      p.drawEllipse(QPointF(s.a, s.b), s.c, s.c);
      break;
    case Shape::kLine:
      p.drawLine(QPointF(s.a, s.b), QPointF(s.c, s.d));
      break;
  }
}

std::string SvgPaint(const Shape& s) {
  std::ostringstream out;
  out << " fill=\"" << (s.fill ? s.fill : "none") << '"';
  if (s.stroke)
    out << " stroke=\"" << s.stroke << "\" stroke-width=\"" << s.strokeWidth
        << "\" stroke-linecap=\"round\"";
  return out.str();
}

}  // namespace

std::vector<Shape> IconShapes() {
  return {
      {Shape::kRoundRect, 16, 16, 224, 224, 48, kTile},
      // The cloud: three puffs on a flat rounded base, all one white.
      {Shape::kCircle, 92, 116, 34, 0, 0, kCloud},
      {Shape::kCircle, 134, 96, 44, 0, 0, kCloud},
      {Shape::kCircle, 176, 122, 30, 0, 0, kCloud},
      {Shape::kRoundRect, 50, 112, 160, 54, 27, kCloud},
      // The magnifying glass over the cloud's lower right.
      {Shape::kLine, 168, 176, 206, 214, 0, nullptr, kGlass, 22},
      {Shape::kCircle, 148, 156, 30, 0, 0, kLens, kGlass, 14},
  };
}

QImage PaintIcon(const std::vector<Shape>& shapes, int size) {
  QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  p.scale(size / kCanvas, size / kCanvas);
  for (const Shape& s : shapes)
    PaintShape(p, s);
  return image;
}

std::string IconSvg(const std::vector<Shape>& shapes) {
  std::ostringstream out;
  out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
         "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"256\" height=\"256\" "
         "viewBox=\"0 0 256 256\">\n";
  for (const Shape& s : shapes) {
    switch (s.kind) {
      case Shape::kRoundRect:
        out << "  <rect x=\"" << s.a << "\" y=\"" << s.b << "\" width=\"" << s.c << "\" height=\""
            << s.d << "\" rx=\"" << s.e << '"';
        break;
      case Shape::kCircle:
        out << "  <circle cx=\"" << s.a << "\" cy=\"" << s.b << "\" r=\"" << s.c << '"';
        break;
      case Shape::kLine:
        out << "  <line x1=\"" << s.a << "\" y1=\"" << s.b << "\" x2=\"" << s.c << "\" y2=\"" << s.d
            << '"';
        break;
    }
    out << SvgPaint(s) << "/>\n";
  }
  out << "</svg>\n";
  return out.str();
}

}  // namespace qelo::iconpainter
