// The skin holder as the skin style reads it, and the listener that takes each new skin up in
// every window when the holder announces it.
#pragma once

#include <QImage>
#include <map>

#include "skin/skin_data.h"
#include "ui/skin_source.h"

namespace qelo::ui {

// Reads the holder's skin in force; valid while the holder keeps that skin (the style cuts
// what it needs when it takes the skin up, so the source is only used then).
class TSkinDataSource : public SkinSource {
 public:
  explicit TSkinDataSource(const skin::TskSkinData& data) : data_(data) {}

  const QImage* Picture(int index) const override;
  std::optional<std::string> Value(std::string_view section, std::string_view key) const override;
  // A section gives a look when the skin lists it among its controls or window objects.
  bool Lists(std::string_view name) const override;

 private:
  const skin::TskSkinData& data_;
  mutable std::map<int, QImage> images_;
};

// A picture of the holder as an image the style can cut (shares nothing with the holder).
QImage SkinBitmapToImage(const skin::TSkinBitmap& bitmap);

// Follows the holder's notices: before a change the old look is set aside, the change takes
// the new skin up in every window (later ones included), the after-change repaints them.
class TSkinStyleFollower : public skin::ISkinListener {
 public:
  void SkinNotice(skin::TskSkinData& sender, skin::TSkinNotice notice) override;
};

}  // namespace qelo::ui
