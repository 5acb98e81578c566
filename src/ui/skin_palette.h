// The toolkit's first step: every window takes the skin's ten colours as its palette. Follows a
// skin holder; the application palette carries the colours, so windows created later take them
// too, and a holder without a skin gives the platform palette back.
#pragma once

#include <QPalette>

#include "skin/skin_data.h"
#include "ui/skin_data_source.h"

namespace qelo::ui {

// The palette the ten colours make over a base palette (roles the skin does not name keep the
// base's colours).
QPalette SkinPalette(const skin::TSkinColors& colors, const QPalette& base);
// The platform's own colours in the skin's layout, for the holder to fall back on.
skin::TSkinColors PlatformSkinColors(const QPalette& platform);

class TSkinPaletteFollower : public skin::ISkinListener {
 public:
  // Remembers the platform palette in force now and registers with the holder as a listener.
  explicit TSkinPaletteFollower(skin::TskSkinData& holder);
  ~TSkinPaletteFollower();
  TSkinPaletteFollower(const TSkinPaletteFollower&) = delete;
  TSkinPaletteFollower& operator=(const TSkinPaletteFollower&) = delete;

  void SkinNotice(skin::TskSkinData& sender, skin::TSkinNotice notice) override;
  const QPalette& PlatformPalette() const { return platform_; }

 private:
  skin::TskSkinData& holder_;
  QPalette platform_;
  // The controls' pictures follow the same notices, after the colours.
  TSkinStyleFollower style_;
};

}  // namespace qelo::ui
