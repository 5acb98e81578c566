// The application style that draws the controls of every window from the active skin: each
// control asks for the section of its skin object name ("button", "edit", "listview", ...)
// and, when the skin has a usable one, is drawn from its picture; otherwise the base style
// draws it with the skin's palette. Window frames are left to the desktop.
#pragma once

#include <QProxyStyle>
#include <memory>
#include <string>

#include "ui/skin_look.h"

namespace qelo::ui {

class SkinSource;

class TSkinStyle : public QProxyStyle {
 public:
  // Takes ownership of base.
  explicit TSkinStyle(QStyle* base);

  // The looks in force; nullptr leaves every control to the palette.
  void SetLook(std::shared_ptr<const SkinLook> look);
  const SkinLook* Look() const { return look_.get(); }

  void polish(QWidget* widget) override;
  void unpolish(QWidget* widget) override;
  using QProxyStyle::polish;
  using QProxyStyle::unpolish;

  void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget = nullptr) const override;
  void drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                   const QWidget* widget = nullptr) const override;
  void drawComplexControl(ComplexControl control, const QStyleOptionComplex* option,
                          QPainter* painter, const QWidget* widget = nullptr) const override;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  const SkinPart* PartOf(const QWidget* widget, const char* fallback) const;
  const SkinPart* Part(const char* name) const;
  bool DrawScrollBar(const QStyleOptionComplex* option, QPainter* painter,
                     const QWidget* widget) const;
  bool DrawComboBox(const QStyleOptionComplex* option, QPainter* painter,
                    const QWidget* widget) const;
  bool DrawGroupBox(const QStyleOptionComplex* option, QPainter* painter,
                    const QWidget* widget) const;
  bool DrawMenuBarItem(const QStyleOption* option, QPainter* painter, const QWidget* widget) const;
  bool DrawMenuItem(const QStyleOption* option, QPainter* painter, const QWidget* widget) const;

  std::shared_ptr<const SkinLook> look_;
};

// The skin object name a widget asks for: its "SkinDataName" property when set, else the one
// its kind implies ("button" for push buttons, "vscrollbar" for vertical scroll bars, ...), or
// an empty text for widgets the skin does not draw.
std::string SkinDataNameOf(const QWidget* widget);
// Tells the style which skin object widget is drawn as (a plain widget that is one of the
// window's skinned panels says "panel"); the style never guesses it from the widget's name.
void SetSkinDataName(QWidget* widget, const std::string& name);

// Takes up a skin in every window, those created later included: its looks are cut from its
// pictures now. With repaint, every window is repainted at once; otherwise call
// RepaintAllWindows when the change is complete. A null skin is the palette look.
void InstallSkinStyle(std::shared_ptr<const SkinSource> skin, bool repaint = true);
// Sets the skin's looks aside: every control is drawn from the palette again.
void RemoveSkinStyle(bool repaint = true);
void RepaintAllWindows();
// The installed skin style, or nullptr before the first InstallSkinStyle.
TSkinStyle* CurrentSkinStyle();

}  // namespace qelo::ui
