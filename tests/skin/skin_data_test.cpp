#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <optional>

#include "skin/builtin_skin.h"
#include "skin/skin_data.h"
#include "skin/skin_errors.h"
#include "skin_bytes.h"

namespace qelo::skin {
namespace {

using test::Container;
using test::Le32;
using test::Pixel24;
using test::Zlib;

std::string Body(int32_t code, const std::vector<std::optional<std::string>>& slots,
                 const std::vector<std::string>& active, const std::string& text,
                 std::optional<int32_t> count = std::nullopt) {
  std::string out;
  Le32(out, static_cast<uint32_t>(code));
  for (const auto& s : slots) {
    out.push_back(s ? '\0' : '\1');
    if (s) out += *s;
  }
  Le32(out, static_cast<uint32_t>(count.value_or(static_cast<int32_t>(active.size()))));
  for (const std::string& a : active)
    out += a;
  return out + text;
}

const std::string kText =
    "[VERSION]\nskinname=Test\n[SKINCOLORS]\ncbtnface=255\n"
    "[SKINCONTROLS]\ncount=1\n0=button:button\n[button]\nskinrect=0,0,1,1\n";

std::string SimpleBody(const std::string& text = kText) {
  return Body(3, {Pixel24(0x112233), std::nullopt, Pixel24(0xFFFFFF)}, {}, text);
}

class TempDir {
 public:
  TempDir() {
    path_ = std::filesystem::temp_directory_path() /
            ("qelo-skin-test-" + std::to_string(::getpid()) + "-" + std::to_string(counter_++));
    std::filesystem::create_directories(path_);
  }
  ~TempDir() { std::filesystem::remove_all(path_); }
  std::string Write(const std::string& name, const std::string& bytes) const {
    const std::string p = (path_ / name).string();
    std::ofstream(p, std::ios::binary) << bytes;
    return p;
  }
  std::string Path(const std::string& name) const { return (path_ / name).string(); }

 private:
  static inline int counter_ = 0;
  std::filesystem::path path_;
};

// Records the notices and the load event in the order they arrive.
struct Recorder : ISkinListener {
  std::string tag;
  std::vector<std::string>* log;
  Recorder(std::string t, std::vector<std::string>* l) : tag(std::move(t)), log(l) {}
  void SkinNotice(TskSkinData& sender, TSkinNotice n) override {
    const char* names[] = {"before", "change", "after"};
    log->push_back(tag + names[static_cast<int>(n)] + (sender.Empty() ? "/empty" : ""));
  }
};

// A holder that starts in the built-in skin, as the main window does.
struct BuiltinHolder {
  TskCompressedStoredSkin builtin;
  TskSkinData holder;
  std::vector<std::string> log;
  Recorder rec{"", &log};
  BuiltinHolder() {
    builtin.CompressedFileName = kBuiltinSkinFile;
    builtin.CompressedData = std::string(BuiltinSkinData());
    holder.SetCompressedStoredSkin(&builtin);
    holder.AddListener(&rec);
    holder.OnLoadData = [this](TskSkinData*) { log.push_back("load"); };
  }
};

uint32_t At(const std::optional<TSkinBitmap>& b) {
  return b ? b->pixels.at(0) & 0xFFFFFF : 0xDEAD;
}

TEST(SkinData, ReadsTheSlotsEachPictureSetCodeCallsFor) {
  const std::string p = Pixel24(0x000001), i = Pixel24(0x000002), m = Pixel24(0x000003),
                    r = Pixel24(0x000004), rm = Pixel24(0x000005);
  struct Case {
    int32_t code;
    std::vector<std::optional<std::string>> slots;
    uint32_t picture, inactive, mask, rollup, rollupMask;
  };
  const uint32_t none = 0xDEAD;
  const std::vector<Case> cases = {
      {0, {p, m}, 1, none, 3, none, none},
      {1, {p, m, r, rm}, 1, none, 3, 4, 5},
      {2, {p, i, m, r, rm}, 1, 2, 3, 4, 5},
      {3, {p, i, m}, 1, 2, 3, none, none},
      {3, {p, std::nullopt, m}, 1, none, 3, none, none},  // empty slot: flag 1, nothing follows
      {2, {std::nullopt, std::nullopt, m, std::nullopt, rm}, none, none, 3, none, 5},
  };
  TempDir dir;
  for (const Case& c : cases) {
    SCOPED_TRACE("code " + std::to_string(c.code) + ", " + std::to_string(c.slots.size()) +
                 " slots");
    TskSkinData h;
    h.LoadContainerFile(
        dir.Write("s.skn", Container(Zlib(Body(c.code, c.slots, {Pixel24(9)}, kText)))));
    EXPECT_FALSE(h.Empty());
    EXPECT_EQ(h.PictureCode(), c.code);
    EXPECT_EQ(At(h.Picture()), c.picture);
    EXPECT_EQ(At(h.InactivePicture()), c.inactive);
    EXPECT_EQ(At(h.Mask()), c.mask);
    EXPECT_EQ(At(h.RollUpPicture()), c.rollup);
    EXPECT_EQ(At(h.RollUpMask()), c.rollupMask);
    ASSERT_EQ(h.ActivePictures().size(), 1u);
    EXPECT_EQ(h.SkinName, "Test");  // the text follows the pictures directly
  }
}

TEST(SkinData, ActivePictureCountOfZeroOrLessMeansNone) {
  for (int32_t count : {0, -1, INT32_MIN}) {
    SCOPED_TRACE(count);
    TskCompressedStoredSkin c;
    c.CompressedData = Zlib(Body(0, {Pixel24(1), Pixel24(2)}, {}, kText, count));
    TskSkinData h;
    h.ApplyContainer(c);
    EXPECT_TRUE(h.ActivePictures().empty());
    EXPECT_EQ(h.SkinName, "Test");
    EXPECT_EQ(h.Colors[scBtnFace], 255u);
    EXPECT_EQ(h.Colors[scBtnText], 0u);  // a missing colour reads as black
  }
}

TEST(SkinData, EntriesOfUnknownTypeRereadThePreviousOne) {
  TskCompressedStoredSkin c;
  c.CompressedData = Zlib(
      SimpleBody("[SKINOBJECTS]\ncount=3\n0=caption:caption\n1=odd:nosuchtype\n2=noname\n"
                 "[SKINCONTROLS]\ncount=4\n0=Panel:PANEL\n1=edit:edit\n2=x:y\n3=list:listbox\n"));
  TskSkinData h;
  h.ApplyContainer(c);
  ASSERT_EQ(h.Objects().size(), 1u);
  EXPECT_EQ(h.Objects()[0].sectionReads, 3);
  ASSERT_EQ(h.Controls().size(), 3u);
  EXPECT_EQ(h.Controls()[1].name, "edit");
  EXPECT_EQ(h.Controls()[1].sectionReads, 2);
  EXPECT_NE(h.Control("PANEL"), nullptr);
  // A huge count with few entries stays bounded.
  c.CompressedData = Zlib(SimpleBody("[SKINCONTROLS]\ncount=2000000000\n0=a:panel\n"));
  h.ApplyContainer(c);
  EXPECT_EQ(h.Controls().size(), 1u);
}

// count lines head + i + tail, i from 0: distinct section names or keys.
std::string Repeated(const std::string& head, const std::string& tail, int count) {
  std::string out;
  for (int i = 0; i < count; ++i)
    out += head + std::to_string(i) + tail;
  return out;
}

// Every damage with the built-in skin in force before: the message, what became of the skin,
// and the notices the windows heard.
TEST(SkinData, FailureTableWithTheBuiltinSkinInForce) {
  TempDir dir;
  const std::string good = Zlib(SimpleBody());
  std::string bigPicture;
  {
    test::BmpLayout s{.width = 200, .height = 200, .pixels = std::string(200 * 600, '\x5A')};
    bigPicture = Zlib(Body(3, {test::Bmp(s), std::nullopt, Pixel24(1)}, {}, kText));
  }
  // The holder is marked empty from the before-change notice until the new skin is in place.
  const std::vector<std::string> restored = {"before/empty", "load", "change", "after"};
  const std::vector<std::string> loaded = restored;
  struct Case {
    const char* name;
    std::string file;  // empty: no file at all
    std::string error;
    TLoadOutcome outcome;
    std::vector<std::string> notices;
    std::string skinName;
  };
  const std::vector<Case> cases = {
      {"no file",
       "",
       "Cannot open file \"" + dir.Path("s.skn") + "\". No such file or directory",
       TLoadOutcome::Unchanged,
       {},
       "Charm"},
      {"version 4", Container(good, 4), "Stream read error", TLoadOutcome::Unchanged, {}, "Charm"},
      {"version 3", Container(good, 3), "", TLoadOutcome::Loaded, loaded, "Test"},
      {"length past the bytes",
       Container(good, 2, good.size() + 1),
       "Stream read error",
       TLoadOutcome::Unchanged,
       {},
       "Charm"},
      {"negative length",
       Container(good, 2, 0xFFFFFFFF),
       "Stream read error",
       TLoadOutcome::Unchanged,
       {},
       "Charm"},
      {"shorter than the header",
       std::string("\x02\0\0\0\x10", 5),
       "Stream read error",
       TLoadOutcome::Unchanged,
       {},
       "Charm"},
      {"length 0", Container(good, 2, 0), "compression error", TLoadOutcome::Restored, restored,
       "Charm"},
      {"rejected data", Container("\x78\xDA\xFF\xFF\xFF\xFF"), "compression error",
       TLoadOutcome::Restored, restored, "Charm"},
      {"cut short", Container(bigPicture.substr(0, bigPicture.size() / 2)), "Stream read error",
       TLoadOutcome::Restored, restored, "Charm"},
      {"code 4", Container(Zlib(Body(4, {}, {}, kText))), "Stream read error",
       TLoadOutcome::Restored, restored, "Charm"},
      {"sections past the bound", Container(Zlib(SimpleBody(Repeated("[s", "]\n", 4097)))),
       "Stream read error", TLoadOutcome::Restored, restored, "Charm"},
      {"keys past the bound", Container(Zlib(SimpleBody("[s]\n" + Repeated("k", "=1\n", 65537)))),
       "Stream read error", TLoadOutcome::Restored, restored, "Charm"},
      {"line past the bound",
       Container(Zlib(SimpleBody("[s]\nk=" + std::string(64 * 1024, 'v') + "\n"))),
       "Stream read error", TLoadOutcome::Restored, restored, "Charm"},
      {"not BM", Container(Zlib(Body(0, {"BX" + Pixel24(1).substr(2), Pixel24(1)}, {}, kText))),
       "Bitmap image is not valid", TLoadOutcome::Restored, restored, "Charm"},
      {"unknown first control",
       Container(Zlib(SimpleBody("[SKINCONTROLS]\ncount=1\n0=a:nosuchtype\n"))),
       "List index out of bounds (-1)", TLoadOutcome::Restored, restored, "Charm"},
      {"bytes after the stream", Container(good + "tail") + "more", "", TLoadOutcome::Loaded,
       loaded, "Test"},
      {"body past the inflate cap", Container(Zlib(SimpleBody() + std::string(64 << 20, '\0'))),
       "compression error: the body inflates past 67108864 bytes", TLoadOutcome::Restored, restored,
       "Charm"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    BuiltinHolder b;
    std::filesystem::remove(dir.Path("s.skn"));
    if (!c.file.empty()) dir.Write("s.skn", c.file);
    std::string error;
    try {
      b.holder.LoadContainerFile(dir.Path("s.skn"));
    } catch (const std::exception& e) {
      error = e.what();
    }
    EXPECT_EQ(error, c.error);
    EXPECT_EQ(b.holder.LastLoad(), c.outcome);
    EXPECT_EQ(b.log, c.notices);
    EXPECT_EQ(b.holder.SkinName, c.skinName);
    EXPECT_EQ(b.holder.Empty(), c.outcome == TLoadOutcome::Empty);
    EXPECT_FALSE(b.holder.Changing());
    if (c.skinName == "Charm") {
      EXPECT_EQ(b.holder.Colors[scBtnFace], 15852243u);
      EXPECT_EQ(b.holder.Controls().size(), b.builtin.CompressedData.empty() ? 0u : 18u);
    }
  }
}

TEST(SkinData, BuiltinWrittenAsAFileLoadsExactlyTheBuiltinSkin) {
  BuiltinHolder fromMemory;
  TempDir dir;
  TskSkinData fromFile;
  fromFile.LoadContainerFile(dir.Write("Charm.skn", Container(std::string(BuiltinSkinData()), 2)));
  const TskSkinData& a = fromMemory.holder;
  ASSERT_FALSE(fromFile.Empty());
  EXPECT_EQ(fromFile.PictureCode(), 3);
  EXPECT_EQ(a.PictureCode(), 3);
  EXPECT_EQ(fromFile.Colors, a.Colors);
  EXPECT_EQ(fromFile.Picture()->pixels, a.Picture()->pixels);
  EXPECT_FALSE(fromFile.InactivePicture().has_value());
  EXPECT_EQ(fromFile.Text().Sections().size(), a.Text().Sections().size());
  EXPECT_EQ(fromFile.SkinName, "Charm");
  // The colours of the built-in skin, and the two it leaves out, reading as black.
  const TSkinColors charm = {15852243, 0, 16777215, 0, 14659672, 0, 15921388, 14470847, 0, 0};
  EXPECT_EQ(fromFile.Colors, charm);
  EXPECT_FALSE(fromFile.Text().Value("SKINCOLORS", "c3dlight").has_value());
  // The toolkit's sections are there, cut from pictures the holder has.
  for (const char* name :
       {"button", "panel", "groupbox", "edit", "memo", "combobox", "listbox", "listview",
        "hscrollbar", "vscrollbar", "statusbar", "statuspanel", "mainmenubar", "label"}) {
    SCOPED_TRACE(name);
    EXPECT_NE(fromFile.Control(name), nullptr);
    const int picture = fromFile.Text().ReadPictureIndex(name, "picture");
    if (fromFile.Value(name, "skinrect")) {
      const TSkinBitmap* b = fromFile.PictureAt(picture);
      ASSERT_NE(b, nullptr);
      const TSkinRect r = fromFile.Text().ReadRect(name, "skinrect");
      EXPECT_LE(r.right, b->width);
      EXPECT_LE(r.bottom, b->height);
      EXPECT_LT(r.left, r.right);
    }
  }
  EXPECT_NE(fromFile.Object("menuitem"), nullptr);
}

TEST(SkinData, NoticesReachTheOwnerFirstThenEveryListenerInOrder) {
  std::vector<std::string> log;
  Recorder owner("owner:", &log), one("one:", &log), two("two:", &log);
  TskSkinData h;
  h.SetOwner(&owner);
  h.AddListener(&one);
  h.AddListener(&owner);  // the owner hears each notice once
  h.AddListener(&two);
  h.OnLoadData = [&](TskSkinData* s) {
    log.push_back(std::string("load") + (s->Changing() ? "/changing" : ""));
  };
  TskCompressedStoredSkin c;
  c.CompressedData = Zlib(SimpleBody());
  h.SetCompressedStoredSkin(&c);
  EXPECT_EQ(h.CompressedStoredSkin(), &c);
  EXPECT_EQ(log,
            (std::vector<std::string>{"owner:before/empty", "one:before/empty", "two:before/empty",
                                      "load/changing", "owner:change", "one:change", "two:change",
                                      "owner:after", "one:after", "two:after"}));
  log.clear();
  h.RemoveListener(&one);
  c.CompressedData.clear();
  h.ApplyContainer(c);  // an empty body changes nothing
  EXPECT_TRUE(log.empty());
  EXPECT_FALSE(h.Empty());
}

TEST(SkinData, DroppingTheSkinBringsTheDefaultColoursBack) {
  TskSkinData h;
  h.DefaultColors.fill(7);
  TskCompressedStoredSkin c;
  c.CompressedData = Zlib(SimpleBody());
  h.ApplyContainer(c);
  EXPECT_EQ(h.Colors[scBtnFace], 255u);
  // A damaged body drops the skin; with no earlier body to put back the holder stays empty.
  TskSkinData fresh;
  fresh.DefaultColors.fill(7);
  fresh.Colors = h.Colors;
  c.CompressedData = Zlib(Body(4, {}, {}, ""));
  EXPECT_THROW(fresh.ApplyContainer(c), EReadError);
  EXPECT_TRUE(fresh.Empty());
  EXPECT_EQ(fresh.Colors[scBtnFace], 7u);
  EXPECT_EQ(fresh.Controls().size(), 0u);
  EXPECT_FALSE(fresh.Picture().has_value());
}

}  // namespace
}  // namespace qelo::skin
