// A plain RGB drawing surface for the skin builder: fills, gradients and anti-aliased rounded
// faces, enough to draw button faces, frames and bars. Pixels are 0xRRGGBB, rows top-down.
#pragma once

#include <cstdint>
#include <vector>

namespace qelo::skinbuilder {

struct TRgb {
  uint8_t r = 0, g = 0, b = 0;
  uint32_t Packed() const { return uint32_t{r} << 16 | uint32_t{g} << 8 | b; }
  // The skin text's colour layout: red in the lowest byte.
  uint32_t SkinValue() const { return uint32_t{b} << 16 | uint32_t{g} << 8 | r; }
  bool operator==(const TRgb&) const = default;
};

TRgb Mix(TRgb a, TRgb b, double t);  // t = 0: a, t = 1: b
TRgb Lighter(TRgb c, double t);
TRgb Darker(TRgb c, double t);

struct TBox {
  int x = 0, y = 0, w = 0, h = 0;
  int Right() const { return x + w; }
  int Bottom() const { return y + h; }
};

// How a rounded face is drawn: a vertical gradient inside a border, with a light inner line
// along the top that gives it a raised look.
struct TFaceLook {
  TRgb top, bottom, border;
  double radius = 3;
  double shine = 0.35;  // strength of the inner top line, 0 for none
};

class TCanvas {
 public:
  TCanvas(int width, int height, TRgb fill = {});
  int Width() const { return width_; }
  int Height() const { return height_; }
  TRgb At(int x, int y) const;
  void Set(int x, int y, TRgb c);
  void Blend(int x, int y, TRgb c, double alpha);

  void Fill(TBox box, TRgb c);
  void VGradient(TBox box, TRgb top, TRgb bottom);
  void HGradient(TBox box, TRgb left, TRgb right);
  void Frame(TBox box, TRgb c);  // one-pixel outline
  // A rounded rectangle with a gradient fill and a border, edges anti-aliased over what is
  // already there.
  void Face(TBox box, const TFaceLook& look);
  // A small filled triangle pointing down (drop-down arrows) or in the other directions.
  enum class TArrow { Up, Down, Left, Right };
  void Arrow(TBox box, TArrow dir, TRgb c);
  // Copies a box of another canvas, stretched to dst (nearest pixel).
  void Blit(const TCanvas& src, TBox from, TBox to);
  // Copies src's box with nine-slice borders: corners as they are, edges and centre stretched.
  void NineSlice(const TCanvas& src, TBox from, TBox to, int border);

  const std::vector<uint32_t>& Pixels() const { return pixels_; }

 private:
  int width_, height_;
  std::vector<uint32_t> pixels_;
};

}  // namespace qelo::skinbuilder
