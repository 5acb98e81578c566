#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QLineEdit>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <QWidget>
#include <algorithm>
#include <cctype>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "ui/skin_look.h"
#include "ui/skin_source.h"
#include "ui/skin_style.h"

namespace qelo::ui {
namespace {

std::string Lower(std::string_view text) {
  std::string out(text);
  std::transform(out.begin(), out.end(), out.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return out;
}

// A skin made by the test: pictures it draws and the values of its sections.
class FakeSkin : public SkinSource {
 public:
  const QImage* Picture(int index) const override {
    const auto it = pictures.find(index);
    return it == pictures.end() ? nullptr : &it->second;
  }
  std::optional<std::string> Value(std::string_view section, std::string_view key) const override {
    const auto s = sections.find(Lower(section));
    if (s == sections.end()) return std::nullopt;
    const auto k = s->second.find(Lower(key));
    if (k == s->second.end()) return std::nullopt;
    return k->second;
  }
  void Set(const std::string& section, const std::string& key, const std::string& value) {
    sections[Lower(section)][Lower(key)] = value;
  }
  std::map<int, QImage> pictures;
  std::map<std::string, std::map<std::string, std::string>> sections;
};

// A 100 x 20 picture of five solid 20 x 20 blocks.
const QColor kBlocks[] = {QColor(200, 30, 30), QColor(30, 160, 40), QColor(40, 60, 210),
                          QColor(230, 200, 20), QColor(250, 250, 250)};

QImage BlockPicture() {
  QImage image(100, 20, QImage::Format_RGB32);
  QPainter p(&image);
  for (int i = 0; i < 5; ++i)
    p.fillRect(QRect(i * 20, 0, 20, 20), kBlocks[i]);
  return image;
}

std::string Block(int i) {
  return std::to_string(i * 20) + ",0," + std::to_string(i * 20 + 20) + ",20";
}

// A skin whose button looks are the first four blocks.
std::shared_ptr<FakeSkin> ButtonSkin() {
  auto skin = std::make_shared<FakeSkin>();
  skin->pictures[-1] = BlockPicture();
  skin->Set("button", "skinrect", Block(0));
  skin->Set("button", "activeskinrect", Block(1));
  skin->Set("button", "downskinrect", Block(2));
  skin->Set("button", "disabledskinrect", Block(3));
  skin->Set("button", "leftoffset", "3");
  skin->Set("button", "rightoffset", "3");
  skin->Set("button", "topoffset", "3");
  skin->Set("button", "bottomoffset", "3");
  return skin;
}

double ShareOf(const QImage& image, QColor colour) {
  const QImage rgb = image.convertToFormat(QImage::Format_RGB32);
  qint64 hits = 0;
  for (int y = 0; y < rgb.height(); ++y)
    for (int x = 0; x < rgb.width(); ++x)
      if (QColor(rgb.pixel(x, y)) == colour) ++hits;
  return static_cast<double>(hits) / (static_cast<qint64>(rgb.width()) * rgb.height());
}

// Pixel by pixel: two grabs of one look may still differ in metadata that QImage compares.
bool SamePixels(const QImage& a, const QImage& b) {
  if (a.size() != b.size()) return false;
  for (int y = 0; y < a.height(); ++y)
    for (int x = 0; x < a.width(); ++x)
      if (a.pixel(x, y) != b.pixel(x, y)) return false;
  return true;
}

QImage Grab(QWidget& widget) {
  return widget.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

// Every test starts and ends with the palette look.
class SkinStyleTest : public testing::Test {
 protected:
  void SetUp() override { RemoveSkinStyle(); }
  void TearDown() override { RemoveSkinStyle(); }
};

// A shown window holding the widgets a test looks at.
struct Window {
  Window() {
    top.resize(300, 200);
    top.show();
  }
  QWidget top;
};

TEST_F(SkinStyleTest, ButtonShowsEachOfItsFourLooks) {
  Window w;
  QPushButton button(QStringLiteral("OK"), &w.top);
  button.setGeometry(10, 10, 75, 25);
  button.show();
  InstallSkinStyle(ButtonSkin());

  struct Case {
    const char* state;
    void (*apply)(QPushButton&);
    QColor expected;
  };
  const Case cases[] = {
      {"normal", [](QPushButton&) {}, kBlocks[0]},
      {"hovered", [](QPushButton& b) { b.setAttribute(Qt::WA_UnderMouse, true); }, kBlocks[1]},
      {"pressed", [](QPushButton& b) { b.setDown(true); }, kBlocks[2]},
      {"disabled", [](QPushButton& b) { b.setEnabled(false); }, kBlocks[3]},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.state);
    button.setAttribute(Qt::WA_UnderMouse, false);
    button.setDown(false);
    button.setEnabled(true);
    c.apply(button);
    EXPECT_GT(ShareOf(Grab(button), c.expected), 0.7);
  }
}

TEST_F(SkinStyleTest, CheckedButtonTakesThePressedLook) {
  Window w;
  QPushButton button(QStringLiteral("On"), &w.top);
  button.setCheckable(true);
  button.setChecked(true);
  button.setGeometry(10, 10, 75, 25);
  button.show();
  InstallSkinStyle(ButtonSkin());
  EXPECT_GT(ShareOf(Grab(button), kBlocks[2]), 0.7);
}

TEST_F(SkinStyleTest, FontColourIsReadWithRedInTheLowestByte) {
  Window w;
  QPushButton button(QStringLiteral("MMMMMM"), &w.top);
  button.setGeometry(10, 10, 90, 30);
  button.show();
  auto skin = std::make_shared<FakeSkin>();
  skin->pictures[-1] = BlockPicture();
  skin->Set("button", "skinrect", Block(4));  // white
  skin->Set("button", "fontcolor", "255");    // pure red in the skin's layout
  InstallSkinStyle(skin);
  const QImage image = Grab(button);
  EXPECT_GT(ShareOf(image, QColor(255, 0, 0)), 0.005);
  EXPECT_EQ(ShareOf(image, QColor(0, 0, 255)), 0.0);
}

TEST_F(SkinStyleTest, ControlWithoutSectionKeepsThePaletteLook) {
  Window w;
  QLineEdit edit(&w.top);
  edit.setGeometry(10, 10, 120, 23);
  edit.show();
  QPushButton button(QStringLiteral("OK"), &w.top);
  button.setGeometry(10, 50, 75, 25);
  button.show();
  const QImage editBefore = Grab(edit);
  const QImage buttonBefore = Grab(button);

  InstallSkinStyle(ButtonSkin());  // skins buttons only
  EXPECT_TRUE(SamePixels(Grab(edit), editBefore));
  EXPECT_FALSE(SamePixels(Grab(button), buttonBefore));

  RemoveSkinStyle();
  EXPECT_TRUE(SamePixels(Grab(button), buttonBefore));
}

TEST_F(SkinStyleTest, InstallingKeepsTheApplicationPalette) {
  QPalette palette = QApplication::palette();
  palette.setColor(QPalette::Button, QColor(12, 34, 56));
  palette.setColor(QPalette::Base, QColor(65, 43, 21));
  QApplication::setPalette(palette);
  InstallSkinStyle(ButtonSkin());
  EXPECT_EQ(QApplication::palette().color(QPalette::Button), QColor(12, 34, 56));
  EXPECT_EQ(QApplication::palette().color(QPalette::Base), QColor(65, 43, 21));
}

// A picture whose 6-pixel corners each hold a pattern of their own, with plain edges and centre.
QImage CornerPicture() {
  QImage image(24, 24, QImage::Format_ARGB32_Premultiplied);
  image.fill(QColor(90, 90, 90));
  for (int y = 0; y < 24; ++y)
    for (int x = 0; x < 24; ++x) {
      const bool left = x < 6, right = x >= 18, top = y < 6, bottom = y >= 18;
      if ((left || right) && (top || bottom))
        image.setPixel(x, y, qRgb(x * 10, y * 10, (x + y) % 2 ? 255 : 0));
      else if (top || bottom || left || right)
        image.setPixel(x, y, qRgb(0, 128, 0));
    }
  return image;
}

TEST(NineSlice, CornersStayUnscaledAtTwoSizes) {
  const QImage picture = CornerPicture();
  for (const bool stretch : {true, false}) {
    const NineSlice slice(picture, picture.rect(), QMargins(6, 6, 6, 6), stretch);
    for (const QSize size : {QSize(40, 30), QSize(150, 90)}) {
      SCOPED_TRACE(std::to_string(size.width()) + "x" + std::to_string(size.height()) +
                   (stretch ? " stretched" : " tiled"));
      QImage target(size, QImage::Format_ARGB32_Premultiplied);
      target.fill(Qt::black);
      {
        QPainter p(&target);
        slice.Draw(p, target.rect());
        slice.Draw(p, target.rect());  // a second time from the kept image
      }
      const QPoint corners[] = {{0, 0}, {18, 0}, {0, 18}, {18, 18}};
      const QPoint targets[] = {{0, 0},
                                {size.width() - 6, 0},
                                {0, size.height() - 6},
                                {size.width() - 6, size.height() - 6}};
      for (int c = 0; c < 4; ++c)
        EXPECT_EQ(target.copy(QRect(targets[c], QSize(6, 6))),
                  picture.copy(QRect(corners[c], QSize(6, 6))))
            << "corner " << c;
      // Edges and centre filled from the picture, nothing left unpainted.
      EXPECT_EQ(QColor(target.pixel(size.width() / 2, 2)), QColor(0, 128, 0));
      EXPECT_EQ(QColor(target.pixel(size.width() / 2, size.height() / 2)), QColor(90, 90, 90));
    }
  }
}

TEST(NineSlice, TiledCentreRepeatsInsteadOfStretching) {
  QImage picture(4, 4, QImage::Format_RGB32);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x)
      picture.setPixel(x, y, x < 2 ? qRgb(255, 255, 255) : qRgb(0, 0, 0));
  QImage target(16, 4, QImage::Format_RGB32);
  for (const bool stretch : {true, false}) {
    SCOPED_TRACE(stretch ? "stretched" : "tiled");
    const NineSlice slice(picture, picture.rect(), QMargins(), stretch);
    target.fill(Qt::red);
    {
      QPainter p(&target);
      slice.Draw(p, target.rect());
    }
    // Stretched: white over x 0..7, black over 8..15. Tiled: the 4-pixel pattern repeats.
    EXPECT_EQ(QColor(target.pixel(6, 1)), stretch ? QColor(Qt::white) : QColor(Qt::black));
    EXPECT_EQ(QColor(target.pixel(9, 1)), stretch ? QColor(Qt::black) : QColor(Qt::white));
  }
}

TEST_F(SkinStyleTest, SkinChangeRepaintsAShownWindow) {
  Window w;
  QPushButton button(QStringLiteral("OK"), &w.top);
  // Without the focus the button keeps its normal look.
  button.setFocusPolicy(Qt::NoFocus);
  button.setGeometry(150, 150, 75, 25);
  button.show();
  QApplication::processEvents();

  // What the window shows on screen, waiting (bounded) for its repaint to land.
  auto shows = [&](QColor colour) {
    QElapsedTimer clock;
    clock.start();
    do {
      QApplication::processEvents(QEventLoop::AllEvents, 20);
      const QImage shot = w.top.screen()->grabWindow(w.top.winId()).toImage();
      if (ShareOf(shot.copy(button.geometry()), colour) > 0.7) return true;
    } while (clock.elapsed() < 5000);
    return false;
  };
  InstallSkinStyle(ButtonSkin());
  EXPECT_TRUE(shows(kBlocks[0]));

  auto other = ButtonSkin();
  other->Set("button", "skinrect", Block(3));
  InstallSkinStyle(other);
  EXPECT_TRUE(shows(kBlocks[3]));
}

TEST_F(SkinStyleTest, WindowsCreatedLaterTakeTheSkin) {
  InstallSkinStyle(ButtonSkin());
  Window w;
  QPushButton button(QStringLiteral("OK"), &w.top);
  button.setFocusPolicy(Qt::NoFocus);
  button.setGeometry(10, 10, 75, 25);
  button.show();
  EXPECT_GT(ShareOf(Grab(button), kBlocks[0]), 0.7);
}

// A skin that lists only some of its sections among its controls.
class ListingSkin : public FakeSkin {
 public:
  bool Lists(std::string_view name) const override { return Lower(name) == "panel"; }
};

TEST_F(SkinStyleTest, OnlyListedSectionsGiveALook) {
  auto skin = std::make_shared<ListingSkin>();
  skin->pictures[-1] = BlockPicture();
  skin->Set("button", "skinrect", Block(0));
  skin->Set("panel", "skinrect", Block(1));
  InstallSkinStyle(skin);
  ASSERT_NE(CurrentSkinStyle(), nullptr);
  EXPECT_EQ(CurrentSkinStyle()->Look()->Part("button"), nullptr);
  EXPECT_NE(CurrentSkinStyle()->Look()->Part("PANEL"), nullptr);
  EXPECT_TRUE(CurrentSkinStyle()->Look()->Damaged().empty());
}

TEST_F(SkinStyleTest, DamagedSectionDrawsThePaletteLook) {
  struct Case {
    const char* what;
    const char* key;
    const char* value;
  };
  const Case cases[] = {
      {"rectangle outside the picture", "skinrect", "90,0,120,20"},
      {"state rectangle outside the picture", "downskinrect", "0,10,20,40"},
      {"empty rectangle", "skinrect", "20,0,20,20"},
      {"too few numbers", "skinrect", "0,0,20"},
      {"offsets larger than the rectangle", "leftoffset", "18"},
      {"top and bottom offsets taller than the rectangle", "topoffset", "18"},
      {"index of a missing active picture", "picture", "3"},
      {"index below -1", "picture", "-7"},
  };
  Window w;
  QPushButton button(QStringLiteral("OK"), &w.top);
  button.setGeometry(10, 10, 75, 25);
  button.show();
  const QImage palette = Grab(button);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    auto skin = ButtonSkin();
    skin->pictures[0] = BlockPicture();  // one active picture: index 0 only
    skin->Set("button", c.key, c.value);
    InstallSkinStyle(skin);
    ASSERT_NE(CurrentSkinStyle(), nullptr);
    EXPECT_EQ(CurrentSkinStyle()->Look()->Part("button"), nullptr);
    EXPECT_EQ(CurrentSkinStyle()->Look()->Damaged(), std::vector<std::string>{"button"});
    EXPECT_TRUE(SamePixels(Grab(button), palette));
  }
}

TEST_F(SkinStyleTest, ActivePictureIsCutWhenNamed) {
  Window w;
  QPushButton button(QStringLiteral("OK"), &w.top);
  button.setGeometry(10, 10, 75, 25);
  button.show();
  auto skin = ButtonSkin();
  QImage active(20, 20, QImage::Format_RGB32);
  active.fill(QColor(10, 200, 200));
  skin->pictures[0] = active;
  skin->Set("button", "picture", "0");
  skin->Set("button", "skinrect", "0,0,20,20");
  for (const char* key : {"activeskinrect", "downskinrect", "disabledskinrect"})
    skin->sections["button"].erase(key);
  InstallSkinStyle(skin);
  button.setDown(true);  // a missing state falls back to the normal look
  EXPECT_GT(ShareOf(Grab(button), QColor(10, 200, 200)), 0.7);
}

TEST_F(SkinStyleTest, ScrollBarTakesThumbAndTrackFromItsSection) {
  Window w;
  QScrollBar bar(Qt::Vertical, &w.top);
  bar.setRange(0, 100);
  bar.setPageStep(20);
  bar.setGeometry(10, 10, 19, 180);
  bar.show();
  auto skin = std::make_shared<FakeSkin>();
  skin->pictures[-1] = BlockPicture();
  skin->Set("vscrollbar", "skinrect", Block(1));
  skin->Set("vscrollbar", "trackrect", Block(3));
  InstallSkinStyle(skin);
  const QImage image = Grab(bar);
  EXPECT_GT(ShareOf(image, kBlocks[1]), 0.15);  // thumb and the two buttons
  EXPECT_GT(ShareOf(image, kBlocks[3]), 0.3);   // the groove
}

TEST_F(SkinStyleTest, PanelsListsAndHeadersFollowTheirSections) {
  Window w;
  QWidget panel(&w.top);
  SetSkinDataName(&panel, "panel");
  panel.setGeometry(0, 0, 300, 60);
  QTreeWidget list(&w.top);
  list.setHeaderLabels({QStringLiteral("A"), QStringLiteral("B")});
  list.setGeometry(0, 60, 300, 140);
  panel.show();
  list.show();
  auto skin = std::make_shared<FakeSkin>();
  skin->pictures[-1] = BlockPicture();
  skin->Set("panel", "skinrect", Block(0));
  skin->Set("listview", "skinrect", Block(1));
  skin->Set("button", "skinrect", Block(2));  // headers fall back to the button look
  InstallSkinStyle(skin);
  EXPECT_GT(ShareOf(Grab(panel), kBlocks[0]), 0.9);
  EXPECT_GT(ShareOf(Grab(*list.header()), kBlocks[2]), 0.6);
  // The list's look is its frame; the rows keep the palette's background.
  const QImage listImage = Grab(list);
  EXPECT_EQ(QColor(listImage.pixel(0, listImage.height() - 1)), kBlocks[1]);
  EXPECT_EQ(ShareOf(Grab(*list.viewport()), kBlocks[1]), 0.0);
}

TEST_F(SkinStyleTest, MessageBoxTakesPanelAndButtonLooks) {
  InstallSkinStyle(ButtonSkin());
  auto skin = ButtonSkin();
  skin->Set("panel", "skinrect", Block(4));
  InstallSkinStyle(skin);
  QMessageBox box(QMessageBox::Information, QStringLiteral("Caption"), QStringLiteral("Text"));
  QPushButton* ok = box.addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
  box.show();
  QApplication::processEvents();
  // The default button has the focus: its normal or its active look.
  const QImage okImage = Grab(*ok);
  EXPECT_GT(ShareOf(okImage, kBlocks[0]) + ShareOf(okImage, kBlocks[1]), 0.6);
  EXPECT_GT(ShareOf(Grab(box), kBlocks[4]), 0.4);
  box.hide();
}

TEST(SkinValues, NumbersRectanglesAndColours) {
  using namespace skin_values;
  struct IntCase {
    const char* text;
    std::optional<long long> expected;
  };
  const IntCase ints[] = {{"12", 12},    {" 7 ", 7},  {"-1", -1}, {"0x1F", 31},
                          {"0XfF", 255}, {"$10", 16}, {"$", {}},  {"abc", {}},
                          {"12px", {}},  {"", {}},    {"0x", {}}, {"99999999999999", {}}};
  for (const IntCase& c : ints) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(ParseInt(c.text), c.expected);
  }
  struct RectCase {
    const char* text;
    std::optional<QRect> expected;
  };
  const RectCase rects[] = {
      {"1,2,11,22", QRect(1, 2, 10, 20)},
      {" 0 , 0 , 5 , 5 ", QRect(0, 0, 5, 5)},
      {"-3,0,10,10", QRect(3, 0, 7, 10)},  // only the digits count
      {"1,2,3", {}},
      {"5,5,5,9", {}},  // no width
      {"9,0,5,5", {}},  // right before left
      {"a,b,c,d", {}},
  };
  for (const RectCase& c : rects) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(ParseRect(c.text), c.expected);
  }
  EXPECT_EQ(ParseColor("255"), QColor(255, 0, 0));
  EXPECT_EQ(ParseColor("16711680"), QColor(0, 0, 255));
  EXPECT_EQ(ParseColor("0x00ff00"), QColor(0, 255, 0));
  EXPECT_EQ(ParseColor("red"), std::nullopt);
}

}  // namespace
}  // namespace qelo::ui
