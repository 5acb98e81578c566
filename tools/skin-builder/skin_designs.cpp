#include "skin_designs.h"

#include <algorithm>
#include <sstream>

#include "skin_writer.h"
#include "text/gbk.h"

namespace qelo::skinbuilder {

namespace {

constexpr int kSheetWidth = 429;
constexpr int kSheetHeight = 330;
constexpr int kPreviewWidth = 381;
constexpr int kPreviewHeight = 255;

// Where each look lies in its picture; the skin text and the preview read the same table.
struct TLooks {
  TBox normal, active, down, disabled;
};

namespace sheet {
constexpr TLooks kButton{{0, 0, 75, 25}, {75, 0, 75, 25}, {150, 0, 75, 25}, {225, 0, 75, 25}};
constexpr TBox kPanel{0, 30, 60, 60};
constexpr TBox kGroupBox{64, 30, 60, 60};
constexpr TLooks kEdit{{128, 30, 60, 24}, {192, 30, 60, 24}, {128, 30, 60, 24}, {256, 30, 60, 24}};
constexpr TBox kList{320, 30, 60, 60};
constexpr TBox kHTrack{0, 94, 60, 17};
constexpr TBox kVTrack{64, 94, 17, 60};
constexpr TLooks kHThumb{{84, 94, 40, 17}, {124, 94, 40, 17}, {164, 94, 40, 17}, {84, 94, 40, 17}};
constexpr TLooks kVThumb{
    {208, 94, 17, 40}, {228, 94, 17, 40}, {248, 94, 17, 40}, {208, 94, 17, 40}};
constexpr TLooks kScrollButton{
    {270, 94, 17, 17}, {290, 94, 17, 17}, {310, 94, 17, 17}, {330, 94, 17, 17}};
constexpr TBox kStatusBar{0, 160, 60, 18};
constexpr TBox kStatusPanel{64, 160, 60, 18};
constexpr TBox kMenuBar{128, 160, 60, 22};
constexpr TLooks kMenuItem{
    {192, 160, 80, 20}, {272, 160, 80, 20}, {272, 160, 80, 20}, {192, 160, 80, 20}};
constexpr TLooks kMenuBarItem{
    {0, 186, 60, 20}, {64, 186, 60, 20}, {128, 186, 60, 20}, {0, 186, 60, 20}};
constexpr TLooks kHeader{
    {192, 186, 70, 20}, {262, 186, 70, 20}, {332, 186, 70, 20}, {192, 186, 70, 20}};
}  // namespace sheet

// Active picture 0: check boxes; 1: combo boxes; 2: gauge bar (8 bits per pixel).
namespace checks {
constexpr TLooks kCheck{{0, 0, 13, 13}, {13, 0, 13, 13}, {26, 0, 13, 13}, {39, 0, 13, 13}};
}
namespace combos {
constexpr TLooks kCombo{{0, 0, 80, 22}, {80, 0, 80, 22}, {160, 0, 80, 22}, {240, 0, 80, 22}};
}
namespace gauges {
constexpr TBox kTrack{0, 0, 100, 14};
constexpr TBox kBar{0, 14, 100, 14};
}  // namespace gauges

TRgb Grey(TRgb c) {
  const auto l = static_cast<uint8_t>((c.r * 30 + c.g * 59 + c.b * 11) / 100);
  return {l, l, l};
}

class TDrawer {
 public:
  explicit TDrawer(const TSkinDesign& d) : d_(d) {}

  TFaceLook Raised() const {
    return {Lighter(d_.face, d_.gloss), Darker(d_.face, 0.06), Darker(d_.accent, 0.1), d_.radius,
            0.35};
  }
  TFaceLook Hover() const {
    return {Lighter(d_.highlight, 0.75), Lighter(d_.highlight, 0.35), Darker(d_.highlight, 0.2),
            d_.radius, 0.4};
  }
  TFaceLook Pressed() const {
    return {Darker(d_.highlight, 0.1), Lighter(d_.highlight, 0.25), Darker(d_.highlight, 0.35),
            d_.radius, 0};
  }
  TFaceLook Disabled() const {
    const TRgb flat = Mix(d_.face, Grey(d_.face), 0.6);
    return {Lighter(flat, 0.2), flat, Mix(flat, Grey(d_.accent), 0.5), d_.radius, 0};
  }

  void Faces(TCanvas& c, const TLooks& at, double radius) const {
    TFaceLook looks[4] = {Raised(), Hover(), Pressed(), Disabled()};
    const TBox boxes[4] = {at.normal, at.active, at.down, at.disabled};
    for (int i = 0; i < 4; ++i) {
      looks[i].radius = radius;
      c.Face(boxes[i], looks[i]);
    }
  }

  void Sunken(TCanvas& c, TBox b, TRgb fill, TRgb border) const {
    c.Fill(b, fill);
    c.Face(b, {fill, fill, border, 2, 0});
  }

  TCanvas Sheet() const {
    TCanvas c(kSheetWidth, kSheetHeight, d_.face);
    Faces(c, sheet::kButton, d_.radius);
    // Panel: a soft gradient with a light top edge and a shadow line at the bottom.
    c.VGradient(sheet::kPanel, Lighter(d_.face, 0.3), d_.face);
    c.Fill({sheet::kPanel.x, sheet::kPanel.y, sheet::kPanel.w, 1}, d_.btnHighlight);
    c.Fill({sheet::kPanel.x, sheet::kPanel.Bottom() - 1, sheet::kPanel.w, 1}, d_.btnShadow);
    // Group box: a rounded etched frame on the face colour.
    c.Face(sheet::kGroupBox, {d_.face, d_.face, d_.btnShadow, 5, 0});
    c.Face({sheet::kGroupBox.x + 1, sheet::kGroupBox.y + 1, sheet::kGroupBox.w - 2,
            sheet::kGroupBox.h - 2},
           {d_.face, d_.face, Mix(d_.face, d_.btnHighlight, 0.8), 4, 0});
    c.Face({sheet::kGroupBox.x + 2, sheet::kGroupBox.y + 2, sheet::kGroupBox.w - 4,
            sheet::kGroupBox.h - 4},
           {d_.face, d_.face, d_.face, 3, 0});
    // Edit boxes: normal, focused (highlight border), disabled.
    Sunken(c, sheet::kEdit.normal, d_.window, d_.btnShadow);
    Sunken(c, sheet::kEdit.active, d_.window, d_.highlight);
    Sunken(c, sheet::kEdit.disabled, Mix(d_.window, d_.face, 0.6), Mix(d_.btnShadow, d_.face, 0.5));
    // List frame.
    c.Fill(sheet::kList, d_.window);
    c.Frame(sheet::kList, d_.btnShadow);
    c.Frame({sheet::kList.x + 1, sheet::kList.y + 1, sheet::kList.w - 2, sheet::kList.h - 2},
            Mix(d_.window, d_.btnShadow, 0.25));
    // Scroll bars: troughs, thumbs in three looks, arrow buttons.
    c.VGradient(sheet::kHTrack, Darker(d_.face, 0.08), Lighter(d_.face, 0.35));
    c.Frame(sheet::kHTrack, Mix(d_.face, d_.btnShadow, 0.6));
    c.HGradient(sheet::kVTrack, Darker(d_.face, 0.08), Lighter(d_.face, 0.35));
    c.Frame(sheet::kVTrack, Mix(d_.face, d_.btnShadow, 0.6));
    Faces(c, sheet::kHThumb, 4);
    Faces(c, sheet::kVThumb, 4);
    Faces(c, sheet::kScrollButton, 2);
    // Status bar and its sunken panel.
    c.VGradient(sheet::kStatusBar, Lighter(d_.face, 0.2), Darker(d_.face, 0.08));
    c.Fill({sheet::kStatusBar.x, sheet::kStatusBar.y, sheet::kStatusBar.w, 1}, d_.btnShadow);
    c.VGradient(sheet::kStatusPanel, Darker(d_.face, 0.04), Lighter(d_.face, 0.15));
    c.Fill({sheet::kStatusPanel.x, sheet::kStatusPanel.y, sheet::kStatusPanel.w, 1}, d_.btnShadow);
    c.Fill({sheet::kStatusPanel.x, sheet::kStatusPanel.y, 1, sheet::kStatusPanel.h}, d_.btnShadow);
    c.Fill({sheet::kStatusPanel.x, sheet::kStatusPanel.Bottom() - 1, sheet::kStatusPanel.w, 1},
           d_.btnHighlight);
    c.Fill({sheet::kStatusPanel.Right() - 1, sheet::kStatusPanel.y, 1, sheet::kStatusPanel.h},
           d_.btnHighlight);
    // Menu bar, its items and the pop-up menu's items.
    c.VGradient(sheet::kMenuBar, Lighter(d_.face, 0.45), d_.face);
    c.VGradient(sheet::kMenuBarItem.normal, Lighter(d_.face, 0.45), d_.face);
    c.VGradient(sheet::kMenuBarItem.active, Lighter(d_.face, 0.45), d_.face);
    c.Face(sheet::kMenuBarItem.active, Hover());
    c.VGradient(sheet::kMenuBarItem.down, Lighter(d_.face, 0.45), d_.face);
    c.Face(sheet::kMenuBarItem.down, Pressed());
    c.Fill(sheet::kMenuItem.normal, d_.window);
    c.Fill(sheet::kMenuItem.active, d_.window);
    c.Face(sheet::kMenuItem.active,
           {Lighter(d_.highlight, 0.3), d_.highlight, Darker(d_.highlight, 0.2), 2, 0.2});
    // List header sections: flat gradient with a separator at the right.
    const TLooks& h = sheet::kHeader;
    c.VGradient(h.normal, Lighter(d_.face, 0.5), d_.face);
    c.VGradient(h.active, Lighter(d_.highlight, 0.8), Lighter(d_.highlight, 0.5));
    c.VGradient(h.down, Lighter(d_.highlight, 0.4), Lighter(d_.highlight, 0.6));
    for (TBox b : {h.normal, h.active, h.down}) {
      c.Fill({b.Right() - 1, b.y + 3, 1, b.h - 6}, d_.btnShadow);
      c.Fill({b.x, b.Bottom() - 1, b.w, 1}, d_.btnShadow);
    }
    return c;
  }

  TCanvas Checks() const {
    TCanvas c(52, 13, d_.face);
    const TBox boxes[4] = {checks::kCheck.normal, checks::kCheck.active, checks::kCheck.down,
                           checks::kCheck.disabled};
    const TRgb borders[4] = {d_.btnShadow, d_.highlight, Darker(d_.highlight, 0.2),
                             Mix(d_.btnShadow, d_.face, 0.5)};
    for (int i = 0; i < 4; ++i) {
      const TRgb fill = i == 3 ? Mix(d_.window, d_.face, 0.6) : d_.window;
      c.Face(boxes[i], {fill, Mix(fill, d_.face, 0.3), borders[i], 2, 0});
    }
    // The checked look carries its tick.
    const TBox t = checks::kCheck.down;
    for (int i = 0; i < 3; ++i) {
      c.Set(t.x + 3 + i, t.y + 6 + i, d_.windowText);
      c.Set(t.x + 3 + i, t.y + 7 + i, d_.windowText);
    }
    for (int i = 0; i < 5; ++i) {
      c.Set(t.x + 6 + i, t.y + 8 - i, d_.windowText);
      c.Set(t.x + 6 + i, t.y + 7 - i, d_.windowText);
    }
    return c;
  }

  TCanvas Combos() const {
    TCanvas c(320, 22, d_.face);
    const TBox boxes[4] = {combos::kCombo.normal, combos::kCombo.active, combos::kCombo.down,
                           combos::kCombo.disabled};
    const TFaceLook buttons[4] = {Raised(), Hover(), Pressed(), Disabled()};
    for (int i = 0; i < 4; ++i) {
      const TBox b = boxes[i];
      const TRgb fill = i == 3 ? Mix(d_.window, d_.face, 0.6) : d_.window;
      Sunken(c, b, fill, i == 1 ? d_.highlight : d_.btnShadow);
      TFaceLook look = buttons[i];
      look.radius = 2;
      const TBox button{b.Right() - 19, b.y + 2, 17, b.h - 4};
      c.Face(button, look);
      c.Arrow(button, TCanvas::TArrow::Down, i == 3 ? Grey(d_.text) : d_.text);
    }
    return c;
  }

  // Few distinct colours, so it fits an 8-bit colour table.
  TCanvas Gauge() const {
    TCanvas c(100, 28, d_.face);
    c.Fill(gauges::kTrack, d_.window);
    c.Frame(gauges::kTrack, d_.btnShadow);
    for (int y = 0; y < gauges::kBar.h; ++y)
      c.Fill({0, gauges::kBar.y + y, 100, 1},
             Mix(Lighter(d_.highlight, 0.5), Darker(d_.highlight, 0.15), y / 13.0));
    c.Frame(gauges::kBar, Darker(d_.highlight, 0.3));
    return c;
  }

  // A small picture of the main window in this skin, for the skin list.
  TCanvas Preview(const TCanvas& s, const TCanvas& combo) const {
    TCanvas p(kPreviewWidth, kPreviewHeight, d_.face);
    p.HGradient({0, 0, kPreviewWidth, 20}, Darker(d_.highlight, 0.15), Lighter(d_.highlight, 0.3));
    for (int i = 0; i < 3; ++i)
      p.Face({kPreviewWidth - 18 - 16 * i, 4, 12, 12}, Raised());
    p.Fill({8, 7, 90, 6}, d_.highlightText);
    p.NineSlice(s, sheet::kMenuBar, {0, 20, kPreviewWidth, 18}, 2);
    p.Fill({8, 26, 30, 4}, d_.text);
    p.Fill({48, 26, 30, 4}, d_.text);
    p.NineSlice(s, sheet::kPanel, {0, 38, kPreviewWidth, 36}, 3);
    p.NineSlice(s, sheet::kEdit.active, {8, 45, 140, 22}, 3);
    p.Fill({14, 54, 50, 4}, d_.windowText);
    p.NineSlice(s, sheet::kButton.normal, {156, 44, 64, 24}, 5);
    p.Fill({172, 54, 32, 4}, d_.text);
    p.NineSlice(combo, combos::kCombo.normal, {228, 45, 96, 22}, 4);
    p.Fill({234, 54, 40, 4}, d_.windowText);
    // The result list: header, rows, one selected, its scroll bar.
    const TBox list{0, 74, kPreviewWidth - 15, 163};
    p.Fill(list, d_.window);
    for (int x = 0; x < list.w; x += 90)
      p.NineSlice(s, sheet::kHeader.normal, {x, list.y, std::min(90, list.w - x), 18}, 3);
    for (int row = 0; row < 8; ++row) {
      const int y = list.y + 20 + row * 18;
      if (row == 2) p.Fill({0, y, list.w, 18}, d_.highlight);
      const TRgb ink = row == 2 ? d_.highlightText : Mix(d_.windowText, d_.window, 0.35);
      p.Fill({6, y + 7, 120 - (row * 13) % 50, 4}, ink);
      p.Fill({134, y + 7, 40, 4}, ink);
      p.Fill({224, y + 7, 30, 4}, ink);
      p.Fill({314, y + 7, 36, 4}, ink);
    }
    p.NineSlice(s, sheet::kVTrack, {kPreviewWidth - 15, 74, 15, 163}, 4);
    p.NineSlice(s, sheet::kScrollButton.normal, {kPreviewWidth - 15, 74, 15, 15}, 3);
    p.NineSlice(s, sheet::kScrollButton.normal, {kPreviewWidth - 15, 222, 15, 15}, 3);
    p.Arrow({kPreviewWidth - 15, 74, 15, 15}, TCanvas::TArrow::Up, d_.text);
    p.Arrow({kPreviewWidth - 15, 222, 15, 15}, TCanvas::TArrow::Down, d_.text);
    p.NineSlice(s, sheet::kVThumb.normal, {kPreviewWidth - 15, 92, 15, 50}, 5);
    p.NineSlice(s, sheet::kStatusBar, {0, 237, kPreviewWidth, 18}, 3);
    p.Fill({kPreviewWidth - 110, 244, 100, 4}, d_.highlight);
    return p;
  }

 private:
  const TSkinDesign& d_;
};

std::string Rect(TBox b) {
  return std::to_string(b.x) + "," + std::to_string(b.y) + "," + std::to_string(b.Right()) + "," +
         std::to_string(b.Bottom());
}

class TTextWriter {
 public:
  void Section(const std::string& name) { out_ << "\r\n[" << name << "]\r\n"; }
  void Key(const std::string& key, const std::string& value) {
    out_ << key << "=" << value << "\r\n";
  }
  void Key(const std::string& key, int64_t value) { Key(key, std::to_string(value)); }
  void Comment(const std::string& text) { out_ << "; " << text << "\r\n"; }
  std::string Text() const { return out_.str(); }

 private:
  std::ostringstream out_;
};

struct TControl {
  const char* name;
  const char* type;
  int picture;
  TLooks looks;
  int offset;
  bool withLooks;  // false: a single look (normal only)
  bool stretch = true;
};

std::string SkinText(const TSkinDesign& d) {
  const TRgb disabledText = Mix(d.text, d.face, 0.55);
  const std::vector<TControl> controls = {
      {"button", "button", -1, sheet::kButton, 5, true},
      {"panel", "panel", -1, {sheet::kPanel, {}, {}, {}}, 3, false},
      {"groupbox", "panel", -1, {sheet::kGroupBox, {}, {}, {}}, 6, false},
      {"edit", "edit", -1, sheet::kEdit, 3, true},
      {"memo", "memo", -1, sheet::kEdit, 3, true},
      {"combobox", "combobox", 1, combos::kCombo, 4, true},
      {"listbox", "listbox", -1, {sheet::kList, {}, {}, {}}, 3, false},
      {"listview", "listview", -1, {sheet::kList, {}, {}, {}}, 3, false},
      // Scroll bars: the looks cut the thumb and arrow buttons, trackrect the groove.
      {"hscrollbar", "scrollbar", -1, sheet::kHThumb, 4, true},
      {"vscrollbar", "scrollbar", -1, sheet::kVThumb, 4, true},
      {"statusbar", "panel", -1, {sheet::kStatusBar, {}, {}, {}}, 3, false},
      {"statuspanel", "panel", -1, {sheet::kStatusPanel, {}, {}, {}}, 3, false},
      {"mainmenubar", "mainmenubar", -1, {sheet::kMenuBar, {}, {}, {}}, 2, false},
      {"header", "button", -1, sheet::kHeader, 3, true},
      {"checkbox", "checkradio", 0, checks::kCheck, 0, true, false},
      {"gauge", "gauge", 2, {gauges::kTrack, {}, gauges::kBar, {}}, 2, false},
      {"label", "label", -1, {}, 0, false},
      {"stdlabel", "stdlabel", -1, {}, 0, false},
  };
  const std::vector<TControl> objects = {
      {"menuitem", "menuitem", -1, sheet::kMenuItem, 4, true},
      {"mainmenubaritem", "mainmenubaritem", -1, sheet::kMenuBarItem, 4, true},
  };

  TTextWriter t;
  t.Comment("Skin drawn by the Qelo skin builder.");
  t.Section("VERSION");
  t.Key("skinname", text::Utf8ToGbk(d.name));
  t.Key("skinauthor", "Qelo");
  t.Key("authoremail", "skins@qelo.invalid");
  t.Key("authorurl", "http://127.0.0.1/");
  t.Key("skincomments", text::Utf8ToGbk(d.comment));
  t.Section("PICTURES");
  t.Key("picture", "picture.bmp");
  t.Key("mask", "mask.bmp");
  t.Key("activepicturescount", 3);
  t.Key("0", "checks.bmp");
  t.Key("1", "combos.bmp");
  t.Key("2", "gauge.bmp");
  t.Section("FORMINFO");
  t.Key("caption", "0");
  t.Section("POPUPWINDOW");
  t.Key("picture", -1);
  t.Key("itemskinrect", Rect(sheet::kMenuItem.normal));
  t.Section("LAYERFRAME");
  t.Key("picture", -1);
  t.Section("HINTWINDOW");
  t.Key("fontcolor", d.windowText.SkinValue());
  t.Key("color", d.window.SkinValue());
  t.Section("SKINCOLORS");
  t.Key("cbtnface", d.face.SkinValue());
  t.Key("cbtntext", d.text.SkinValue());
  t.Key("cwindow", d.window.SkinValue());
  t.Key("cwindowtext", d.windowText.SkinValue());
  t.Key("chighlight", d.highlight.SkinValue());
  t.Key("chighlighttext", d.highlightText.SkinValue());
  t.Key("cbtnhighlight", d.btnHighlight.SkinValue());
  t.Key("cbtnshadow", d.btnShadow.SkinValue());
  if (d.light3d) t.Key("c3dlight", d.light3d->SkinValue());
  if (d.darkShadow3d) t.Key("c3ddkshadow", d.darkShadow3d->SkinValue());

  const auto entries = [&t](const char* section, const std::vector<TControl>& list) {
    t.Section(section);
    t.Key("count", static_cast<int64_t>(list.size()));
    for (size_t i = 0; i < list.size(); ++i)
      t.Key(std::to_string(i), std::string(list[i].name) + ":" + list[i].type);
  };
  entries("SKINOBJECTS", objects);
  entries("SKINCONTROLS", controls);

  const auto lookSection = [&](const TControl& c) {
    t.Section(c.name);
    t.Key("fontcolor", d.text.SkinValue());
    const bool menu = std::string(c.name) == "menuitem";
    t.Key("activefontcolor", (menu ? d.highlightText : d.text).SkinValue());
    t.Key("downfontcolor", (menu ? d.highlightText : d.text).SkinValue());
    t.Key("disabledfontcolor", disabledText.SkinValue());
    if (c.looks.normal.w == 0) return;
    t.Key("picture", c.picture);
    t.Key("skinrect", Rect(c.looks.normal));
    if (c.withLooks) {
      t.Key("activeskinrect", Rect(c.looks.active));
      t.Key("downskinrect", Rect(c.looks.down));
      t.Key("disabledskinrect", Rect(c.looks.disabled));
    } else if (c.looks.down.w != 0) {
      t.Key("downskinrect", Rect(c.looks.down));
    }
    if (std::string(c.name) == "hscrollbar") t.Key("trackrect", Rect(sheet::kHTrack));
    if (std::string(c.name) == "vscrollbar") t.Key("trackrect", Rect(sheet::kVTrack));
    const bool combo = std::string(c.name) == "combobox";
    // Button corners take the whole rounding, so the nine-slice never stretches a curve.
    const int offset = std::string(c.name) == "button"
                           ? std::min(std::max(c.offset, static_cast<int>(d.radius) + 1), 11)
                           : c.offset;
    t.Key("leftoffset", offset);
    t.Key("topoffset", offset);
    t.Key("rightoffset", combo ? 21 : offset);
    t.Key("bottomoffset", offset);
    t.Key("stretch", c.stretch ? 1 : 0);
  };
  for (const TControl& c : objects)
    lookSection(c);
  for (const TControl& c : controls)
    lookSection(c);
  return t.Text();
}

}  // namespace

TSkinDesign CharmDesign() {
  TSkinDesign d;
  d.name = "Charm";
  d.comment = "The built-in skin: soft blue-grey faces with glossy buttons.";
  d.face = {211, 226, 241};
  d.text = {0, 0, 0};
  d.window = {255, 255, 255};
  d.windowText = {0, 0, 0};
  d.highlight = {88, 176, 223};
  d.highlightText = {0, 0, 0};
  d.btnHighlight = {236, 240, 242};
  d.btnShadow = {191, 206, 220};
  d.accent = {96, 140, 184};
  return d;
}

std::vector<TSkinDesign> DemoDesigns() {
  std::vector<TSkinDesign> out;
  TSkinDesign forest;
  forest.name = "Forest";
  forest.comment = "Moss-green faces, pine highlights.";
  forest.face = {206, 226, 198};
  forest.text = {20, 44, 20};
  forest.window = {246, 252, 242};
  forest.windowText = {16, 40, 16};
  forest.highlight = {74, 142, 70};
  forest.highlightText = {255, 255, 255};
  forest.btnHighlight = {236, 246, 230};
  forest.btnShadow = {140, 172, 130};
  forest.light3d = TRgb{222, 238, 214};
  forest.darkShadow3d = TRgb{60, 90, 56};
  forest.accent = {70, 110, 64};
  forest.radius = 5;
  out.push_back(forest);

  TSkinDesign sunset;
  sunset.name = "Sunset";
  sunset.comment = "Warm sand and orange.";
  sunset.face = {250, 226, 200};
  sunset.text = {70, 30, 10};
  sunset.window = {255, 250, 240};
  sunset.windowText = {60, 26, 8};
  sunset.highlight = {232, 112, 40};
  sunset.highlightText = {255, 255, 255};
  sunset.btnHighlight = {255, 242, 226};
  sunset.btnShadow = {214, 160, 120};
  sunset.light3d = TRgb{255, 236, 214};
  sunset.darkShadow3d = TRgb{120, 60, 20};
  sunset.accent = {190, 96, 40};
  sunset.radius = 8;
  out.push_back(sunset);

  TSkinDesign graphite;
  graphite.name = "Graphite";
  graphite.comment = "Dark charcoal with sky-blue highlights.";
  graphite.face = {62, 66, 74};
  graphite.text = {232, 234, 238};
  graphite.window = {40, 43, 49};
  graphite.windowText = {224, 226, 230};
  graphite.highlight = {70, 150, 220};
  graphite.highlightText = {255, 255, 255};
  graphite.btnHighlight = {96, 100, 110};
  graphite.btnShadow = {30, 32, 36};
  graphite.light3d = TRgb{80, 84, 92};
  graphite.darkShadow3d = TRgb{16, 17, 20};
  graphite.accent = {20, 22, 26};
  graphite.gloss = 0.14;
  graphite.radius = 2;
  out.push_back(graphite);

  TSkinDesign sakura;
  sakura.name = "樱花";
  sakura.comment = "樱花粉色皮肤";
  sakura.face = {250, 224, 234};
  sakura.text = {90, 20, 50};
  sakura.window = {255, 248, 251};
  sakura.windowText = {80, 16, 44};
  sakura.highlight = {222, 88, 140};
  sakura.highlightText = {255, 255, 255};
  sakura.btnHighlight = {255, 240, 246};
  sakura.btnShadow = {220, 160, 184};
  sakura.light3d = TRgb{255, 232, 240};
  sakura.darkShadow3d = TRgb{130, 40, 80};
  sakura.accent = {200, 100, 140};
  sakura.radius = 10;
  out.push_back(sakura);
  return out;
}

TBuiltSkin BuildSkin(const TSkinDesign& design) {
  const TDrawer drawer(design);
  const TCanvas sheet = drawer.Sheet();
  const TCanvas combo = drawer.Combos();
  TBuiltSkin out;
  out.text = SkinText(design);
  TBody body;
  body.code = 3;
  // The mask shows the whole picture.
  const std::vector<bool> mask(static_cast<size_t>(sheet.Width()) * sheet.Height(), true);
  body.pictureSlots = {Bmp24(sheet), std::nullopt, Bmp1(mask, sheet.Width(), sheet.Height())};
  body.active = {Bmp32(drawer.Checks(), true), Bmp24(combo), Bmp8(drawer.Gauge())};
  body.text = out.text;
  out.body = BodyBytes(body);
  out.compressed = Deflate(out.body);
  out.preview = JpegBytes(drawer.Preview(sheet, combo));
  return out;
}

}  // namespace qelo::skinbuilder
