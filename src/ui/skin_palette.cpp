#include "ui/skin_palette.h"

#include <QApplication>
#include <QEvent>
#include <QWidget>

#include "ui/skin_style.h"

namespace qelo::ui {

namespace {

QColor FromSkin(uint32_t v) {
  return QColor(static_cast<int>(v & 0xFF), static_cast<int>(v >> 8 & 0xFF),
                static_cast<int>(v >> 16 & 0xFF));
}

uint32_t ToSkin(const QColor& c) {
  return static_cast<uint32_t>(c.red()) | static_cast<uint32_t>(c.green()) << 8 |
         static_cast<uint32_t>(c.blue()) << 16;
}

// Which palette roles each skin colour fills.
struct TRoleMap {
  skin::TSkinColor color;
  QPalette::ColorRole roles[2];
  int count;
};
constexpr TRoleMap kRoles[] = {
    {skin::scBtnFace, {QPalette::Button, QPalette::Window}, 2},
    {skin::scBtnText, {QPalette::ButtonText, QPalette::ButtonText}, 1},
    {skin::scWindow, {QPalette::Base, QPalette::AlternateBase}, 2},
    {skin::scWindowText, {QPalette::Text, QPalette::WindowText}, 2},
    {skin::scHighlight, {QPalette::Highlight, QPalette::Highlight}, 1},
    {skin::scHighlightText, {QPalette::HighlightedText, QPalette::HighlightedText}, 1},
    {skin::scBtnHighlight, {QPalette::Light, QPalette::Light}, 1},
    {skin::scBtnShadow, {QPalette::Mid, QPalette::Dark}, 2},
    {skin::sc3DLight, {QPalette::Midlight, QPalette::Midlight}, 1},
    {skin::sc3DDkShadow, {QPalette::Shadow, QPalette::Shadow}, 1},
};

// The application palette, and every window made to take it up at once (each passes it on to
// its controls); windows created later start from it.
void UsePalette(const QPalette& palette) {
  QApplication::setPalette(palette);
  for (QWidget* w : QApplication::topLevelWidgets()) {
    QEvent changed(QEvent::ApplicationPaletteChange);
    QApplication::sendEvent(w, &changed);
  }
}

}  // namespace

QPalette SkinPalette(const skin::TSkinColors& colors, const QPalette& base) {
  QPalette p = base;
  for (const TRoleMap& m : kRoles)
    for (int i = 0; i < m.count; ++i)
      p.setColor(m.roles[i], FromSkin(colors[m.color]));
  // Disabled text is the text colour faded into the surface it sits on.
  const auto faded = [&](skin::TSkinColor text, skin::TSkinColor surface) {
    const QColor t = FromSkin(colors[text]), s = FromSkin(colors[surface]);
    return QColor((t.red() + s.red() * 2) / 3, (t.green() + s.green() * 2) / 3,
                  (t.blue() + s.blue() * 2) / 3);
  };
  p.setColor(QPalette::Disabled, QPalette::ButtonText, faded(skin::scBtnText, skin::scBtnFace));
  p.setColor(QPalette::Disabled, QPalette::WindowText, faded(skin::scWindowText, skin::scBtnFace));
  p.setColor(QPalette::Disabled, QPalette::Text, faded(skin::scWindowText, skin::scWindow));
  return p;
}

skin::TSkinColors PlatformSkinColors(const QPalette& platform) {
  skin::TSkinColors out{};
  for (const TRoleMap& m : kRoles)
    out[m.color] = ToSkin(platform.color(QPalette::Active, m.roles[0]));
  return out;
}

TSkinPaletteFollower::TSkinPaletteFollower(skin::TskSkinData& holder)
    : holder_(holder), platform_(QApplication::palette()) {
  holder_.DefaultColors = PlatformSkinColors(platform_);
  holder_.AddListener(this);
}

TSkinPaletteFollower::~TSkinPaletteFollower() {
  holder_.RemoveListener(this);
  // The skin leaves with the holder's window.
  UsePalette(platform_);
  RemoveSkinStyle();
}

void TSkinPaletteFollower::SkinNotice(skin::TskSkinData& sender, skin::TSkinNotice notice) {
  switch (notice) {
    case skin::TSkinNotice::BeforeChange:
      // The skin in force is set aside: until a new one is taken up the platform look shows.
      UsePalette(platform_);
      break;
    case skin::TSkinNotice::Change:
      UsePalette(sender.Empty() ? platform_ : SkinPalette(sender.Colors, platform_));
      break;
    case skin::TSkinNotice::AfterChange:
      break;
  }
  style_.SkinNotice(sender, notice);
}

}  // namespace qelo::ui
