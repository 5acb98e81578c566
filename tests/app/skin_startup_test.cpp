// The saved skin at start-up and the skin palette, on a main window offscreen. This program
// runs from a folder of its own: its settings.cfg and skins/ are the AppDir files under test.
#include <gtest/gtest.h>

#include <QApplication>
#include <QPushButton>
#include <filesystem>
#include <fstream>

#include "app/main_form.h"
#include "skin_designs.h"
#include "skin_writer.h"
#include "text/app_dir.h"
#include "text/gbk.h"
#include "text/settings_codec.h"
#include "ui/error_report.h"
#include "ui/skin_palette.h"

namespace qelo::app {
namespace {

namespace fs = std::filesystem;

QColor FromSkin(uint32_t v) {
  return QColor(static_cast<int>(v & 0xFF), static_cast<int>(v >> 8 & 0xFF),
                static_cast<int>(v >> 16 & 0xFF));
}

skinbuilder::TSkinDesign BlueDesign() {
  skinbuilder::TSkinDesign d = skinbuilder::CharmDesign();
  d.name = "Blue";
  d.face = {30, 60, 200};
  d.window = {200, 210, 255};
  return d;
}

const QColor kCharmFace = FromSkin(15852243);
const QColor kBlueFace(30, 60, 200);

void WriteSettings(const std::string& dir, const std::string& name) {
  std::ofstream(dir + "settings.cfg", std::ios::binary)
      << text::SettingsCodec(name + "|user", true) << "\r\n";
}

TEST(SavedSkin, StartUpCasesOnTheMainWindow) {
  const std::string dir = text::AppDir();
  const std::string blue =
      skinbuilder::ContainerFile(skinbuilder::BuildSkin(BlueDesign()).compressed);
  struct Case {
    const char* name;
    std::function<void()> prepare;
    std::string skinName;
    QColor face;
  };
  const std::vector<Case> cases = {
      {"no settings.cfg", [] {}, "Charm", kCharmFace},
      {"a name not cached", [&] { WriteSettings(dir, "Blue"); }, "Charm", kCharmFace},
      {"a cached Blue",
       [&] {
         WriteSettings(dir, "Blue");
         skinbuilder::WriteFile(dir + "skins/Blue.skn", blue);
       },
       "Blue", kBlueFace},
      {"a cached Chinese name, its file name in UTF-8",
       [&] {
         WriteSettings(dir, text::Utf8ToGbk("樱花"));
         skinbuilder::WriteFile(dir + "skins/樱花.skn", blue);
       },
       text::Utf8ToGbk("樱花"), kBlueFace},
      {"a name with a blank takes the part before it",
       [&] {
         WriteSettings(dir, "Blue Sky");
         skinbuilder::WriteFile(dir + "skins/Blue.skn", blue);
       },
       "Blue", kBlueFace},
      {"a settings file that does not decode",
       [&] {
         std::ofstream(dir + "settings.cfg", std::ios::binary) << "not the codec's output\r\n";
         skinbuilder::WriteFile(dir + "skins/Blue.skn", blue);
       },
       "Charm", kCharmFace},
      {"a damaged container",
       [&] {
         WriteSettings(dir, "Blue");
         skinbuilder::WriteFile(dir + "skins/Blue.skn", blue.substr(0, blue.size() / 3) + "x");
       },
       "Charm", kCharmFace},
      {"a container with garbage for a body",
       [&] {
         WriteSettings(dir, "Blue");
         skinbuilder::WriteFile(dir + "skins/Blue.skn", std::string("\2\0\0\0\0\0\0\0junk", 12));
       },
       "Charm", kCharmFace},
  };
  std::vector<QString> reports;
  auto oldSink =
      ui::SetErrorSink([&](const QString&, const QString& text) { reports.push_back(text); });
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove(dir + "settings.cfg");
    fs::remove_all(dir + "skins");
    fs::create_directories(dir + "skins");
    c.prepare();
    int boxes = 0;
    {
      TMainForm form;
      form.MsgDlg.responder = [&](const ui::MessageRequest&) {
        ++boxes;
        return ui::mrOk;
      };
      EXPECT_EQ(QApplication::palette().color(QPalette::Button), kCharmFace);  // at creation
      form.show();
      EXPECT_EQ(form.SkinName, c.skinName);
      EXPECT_FALSE(form.skSkinData1.Empty());
      EXPECT_EQ(form.palette().color(QPalette::Button), c.face);
      EXPECT_EQ(form.findChild<QPushButton*>("btn_search")->palette().color(QPalette::Button),
                c.face);
      // A window created afterwards takes the skin too.
      QWidget later;
      EXPECT_EQ(later.palette().color(QPalette::Window), c.face);
    }
    EXPECT_EQ(boxes, 0);
    EXPECT_TRUE(reports.empty());
  }
  fs::remove(dir + "settings.cfg");
  fs::remove_all(dir + "skins");
  ui::SetErrorSink(std::move(oldSink));
}

TEST(SkinPalette, TenColoursFillTheirRolesAndLeavingGivesThePlatformBack) {
  const QPalette platform = QApplication::palette();
  skin::TSkinColors colors{};
  for (size_t i = 0; i < colors.size(); ++i)
    colors[i] = static_cast<uint32_t>(0x010203 * (i + 1));  // ten different colours
  const QPalette p = ui::SkinPalette(colors, platform);
  struct Case {
    QPalette::ColorRole role;
    skin::TSkinColor color;
  };
  for (const Case& c : std::vector<Case>{{QPalette::Button, skin::scBtnFace},
                                         {QPalette::Window, skin::scBtnFace},
                                         {QPalette::ButtonText, skin::scBtnText},
                                         {QPalette::Base, skin::scWindow},
                                         {QPalette::Text, skin::scWindowText},
                                         {QPalette::WindowText, skin::scWindowText},
                                         {QPalette::Highlight, skin::scHighlight},
                                         {QPalette::HighlightedText, skin::scHighlightText},
                                         {QPalette::Light, skin::scBtnHighlight},
                                         {QPalette::Mid, skin::scBtnShadow},
                                         {QPalette::Dark, skin::scBtnShadow},
                                         {QPalette::Midlight, skin::sc3DLight},
                                         {QPalette::Shadow, skin::sc3DDkShadow}}) {
    SCOPED_TRACE(static_cast<int>(c.role));
    EXPECT_EQ(p.color(QPalette::Active, c.role), FromSkin(colors[c.color]));
  }
  // Round trip of the platform colours the holder falls back on.
  EXPECT_EQ(ui::PlatformSkinColors(p), colors);

  {
    TMainForm form;
    EXPECT_EQ(QApplication::palette().color(QPalette::Button), kCharmFace);
    // A body with an unknown picture-set code is damaged: the error reaches the caller and the
    // skin in force comes back, colours and all.
    skin::TskCompressedStoredSkin damaged;
    std::string body("\4\0\0\0", 4);
    damaged.CompressedData = skinbuilder::Deflate(body);
    EXPECT_ANY_THROW(form.skSkinData1.ApplyContainer(damaged));
    EXPECT_FALSE(form.skSkinData1.Empty());
    EXPECT_EQ(form.palette().color(QPalette::Button), kCharmFace);
  }
  // The window gone, the platform look is back.
  EXPECT_EQ(QApplication::palette().color(QPalette::Button), platform.color(QPalette::Button));
}

}  // namespace
}  // namespace qelo::app
