// The skins the builder draws: the built-in "Charm" and the demo skins. Each design is a
// palette and a few shape choices; the drawing and the skin text are the same for all of them,
// so every skin carries the same sections and rectangles.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "canvas.h"

namespace qelo::skinbuilder {

struct TSkinDesign {
  std::string name;  // UTF-8; also the file name
  std::string comment;
  TRgb face, text, window, windowText, highlight, highlightText, btnHighlight, btnShadow;
  std::optional<TRgb> light3d, darkShadow3d;  // none: the key is left out (reads as black)
  TRgb accent;                                // borders of buttons and frames
  double gloss = 0.55;                        // how much lighter the top of a raised face is
  double radius = 3;                          // corner radius of buttons
};

TSkinDesign CharmDesign();
// Four demo skins with clearly different palettes, one of them with a Chinese name.
std::vector<TSkinDesign> DemoDesigns();

struct TBuiltSkin {
  std::string body;        // decompressed body
  std::string compressed;  // zlib stream of the body
  std::string text;        // skin text (GBK)
  std::string preview;     // 381 x 255 JPEG
};

TBuiltSkin BuildSkin(const TSkinDesign& design);

}  // namespace qelo::skinbuilder
