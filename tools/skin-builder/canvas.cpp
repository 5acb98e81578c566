#include "canvas.h"

#include <algorithm>
#include <cmath>

namespace qelo::skinbuilder {

namespace {

uint8_t Channel(double v) {
  return static_cast<uint8_t>(std::clamp(std::lround(v), 0L, 255L));
}

}  // namespace

TRgb Mix(TRgb a, TRgb b, double t) {
  return {Channel(a.r + (b.r - a.r) * t), Channel(a.g + (b.g - a.g) * t),
          Channel(a.b + (b.b - a.b) * t)};
}

TRgb Lighter(TRgb c, double t) {
  return Mix(c, {255, 255, 255}, t);
}

TRgb Darker(TRgb c, double t) {
  return Mix(c, {0, 0, 0}, t);
}

TCanvas::TCanvas(int width, int height, TRgb fill)
    : width_(width), height_(height), pixels_(static_cast<size_t>(width) * height, fill.Packed()) {}

TRgb TCanvas::At(int x, int y) const {
  const uint32_t p = pixels_[static_cast<size_t>(y) * width_ + x];
  return {static_cast<uint8_t>(p >> 16), static_cast<uint8_t>(p >> 8), static_cast<uint8_t>(p)};
}

void TCanvas::Set(int x, int y, TRgb c) {
  if (x < 0 || y < 0 || x >= width_ || y >= height_) return;
  pixels_[static_cast<size_t>(y) * width_ + x] = c.Packed();
}

void TCanvas::Blend(int x, int y, TRgb c, double alpha) {
  if (x < 0 || y < 0 || x >= width_ || y >= height_ || alpha <= 0) return;
  Set(x, y, Mix(At(x, y), c, std::min(alpha, 1.0)));
}

void TCanvas::Fill(TBox box, TRgb c) {
  for (int y = box.y; y < box.Bottom(); ++y)
    for (int x = box.x; x < box.Right(); ++x)
      Set(x, y, c);
}

void TCanvas::VGradient(TBox box, TRgb top, TRgb bottom) {
  for (int y = box.y; y < box.Bottom(); ++y) {
    const double t = box.h > 1 ? double(y - box.y) / (box.h - 1) : 0;
    Fill({box.x, y, box.w, 1}, Mix(top, bottom, t));
  }
}

void TCanvas::HGradient(TBox box, TRgb left, TRgb right) {
  for (int x = box.x; x < box.Right(); ++x) {
    const double t = box.w > 1 ? double(x - box.x) / (box.w - 1) : 0;
    Fill({x, box.y, 1, box.h}, Mix(left, right, t));
  }
}

void TCanvas::Frame(TBox box, TRgb c) {
  Fill({box.x, box.y, box.w, 1}, c);
  Fill({box.x, box.Bottom() - 1, box.w, 1}, c);
  Fill({box.x, box.y, 1, box.h}, c);
  Fill({box.Right() - 1, box.y, 1, box.h}, c);
}

void TCanvas::Face(TBox box, const TFaceLook& look) {
  const double hw = box.w / 2.0, hh = box.h / 2.0;
  const double cx = box.x + hw, cy = box.y + hh;
  const double r = std::min({look.radius, hw, hh});
  for (int y = box.y; y < box.Bottom(); ++y) {
    const double t = box.h > 1 ? double(y - box.y) / (box.h - 1) : 0;
    const TRgb fill = Mix(look.top, look.bottom, t);
    for (int x = box.x; x < box.Right(); ++x) {
      // Signed distance from the pixel centre to the rounded outline (negative inside).
      const double qx = std::max(std::fabs(x + 0.5 - cx) - (hw - r), 0.0);
      const double qy = std::max(std::fabs(y + 0.5 - cy) - (hh - r), 0.0);
      const double inner = std::min(
          std::max(std::fabs(x + 0.5 - cx) - (hw - r), std::fabs(y + 0.5 - cy) - (hh - r)), 0.0);
      const double sd = std::hypot(qx, qy) + inner - r;
      const double coverage = std::clamp(0.5 - sd, 0.0, 1.0);
      if (coverage <= 0) continue;
      TRgb c = fill;
      if (look.shine > 0 && y == box.y + 1) c = Lighter(fill, look.shine);
      c = Mix(c, look.border, std::clamp(sd + 1.5, 0.0, 1.0));
      Blend(x, y, c, coverage);
    }
  }
}

void TCanvas::Arrow(TBox box, TArrow dir, TRgb c) {
  const int size = std::min(box.w, box.h) / 2;
  const int cx = box.x + box.w / 2, cy = box.y + box.h / 2;
  for (int i = 0; i < size; ++i) {
    const int half = size - 1 - i;
    for (int j = -half; j <= half; ++j) {
      switch (dir) {
        case TArrow::Down:
          Set(cx + j, cy - size / 2 + i, c);
          break;
        case TArrow::Up:
          Set(cx + j, cy + size / 2 - i, c);
          break;
        case TArrow::Right:
          Set(cx - size / 2 + i, cy + j, c);
          break;
        case TArrow::Left:
          Set(cx + size / 2 - i, cy + j, c);
          break;
      }
    }
  }
}

void TCanvas::Blit(const TCanvas& src, TBox from, TBox to) {
  if (from.w <= 0 || from.h <= 0) return;
  for (int y = 0; y < to.h; ++y)
    for (int x = 0; x < to.w; ++x)
      Set(to.x + x, to.y + y, src.At(from.x + x * from.w / to.w, from.y + y * from.h / to.h));
}

void TCanvas::NineSlice(const TCanvas& src, TBox from, TBox to, int b) {
  const int sx[4] = {from.x, from.x + b, from.Right() - b, from.Right()};
  const int sy[4] = {from.y, from.y + b, from.Bottom() - b, from.Bottom()};
  const int dx[4] = {to.x, to.x + b, to.Right() - b, to.Right()};
  const int dy[4] = {to.y, to.y + b, to.Bottom() - b, to.Bottom()};
  for (int j = 0; j < 3; ++j)
    for (int i = 0; i < 3; ++i)
      Blit(src, {sx[i], sy[j], sx[i + 1] - sx[i], sy[j + 1] - sy[j]},
           {dx[i], dy[j], dx[i + 1] - dx[i], dy[j + 1] - dy[j]});
}

}  // namespace qelo::skinbuilder
