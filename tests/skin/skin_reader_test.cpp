#include <gtest/gtest.h>

#include <functional>

#include "skin/skin_bitmap.h"
#include "skin/skin_errors.h"
#include "skin/skin_inflate.h"
#include "skin/skin_text.h"
#include "skin_bytes.h"

namespace qelo::skin {
namespace {

using test::Bmp;
using test::BmpLayout;

constexpr uint32_t kBlack = 0xFF000000;
constexpr uint32_t kOpaque = 0xFF000000;

TSkinBitmap Read(const std::string& bytes, size_t* used = nullptr) {
  TByteReader in(bytes);
  TPixelBudget budget;
  TSkinBitmap b = ReadBitmap(in, budget);
  if (used) *used = in.Position();
  return b;
}

// Each layout the reader knows, with the pixels it must give (rows top-down).
TEST(SkinBitmap, DecodesEachLayout) {
  struct Case {
    const char* name;
    BmpLayout layout;
    int width, height;
    std::vector<uint32_t> expected;
  };
  const std::vector<Case> cases = {
      {"24 bits bottom-up: the first stored row is the bottom one",
       {.width = 1, .height = 2, .pixels = std::string("\x01\x02\x03\0\x04\x05\x06\0", 8)},
       1,
       2,
       {kOpaque | 0x060504, kOpaque | 0x030201}},
      {"24 bits top-down (negative height)",
       {.width = 1, .height = -2, .pixels = std::string("\x01\x02\x03\0\x04\x05\x06\0", 8)},
       1,
       2,
       {kOpaque | 0x030201, kOpaque | 0x060504}},
      {"core header: 3-byte colour entries, 1 bit",
       {.infoSize = 12,
        .width = 3,
        .height = 1,
        .bits = 1,
        .colors = {0x102030, 0xA0B0C0},
        .pixels = std::string("\xA0\0\0\0", 4)},
       3,
       1,
       {kOpaque | 0xA0B0C0, kOpaque | 0x102030, kOpaque | 0xA0B0C0}},
      {"4 bits, default 16 entries",
       {.width = 2,
        .height = 1,
        .bits = 4,
        .colors = {0, 0x111111, 0x222222, 0x333333, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFFFFFF},
        .pixels = std::string("\x3F\0\0\0", 4)},
       2,
       1,
       {kOpaque | 0x333333, kOpaque | 0xFFFFFF}},
      {"8 bits, short colour table: an index past it is black",
       {.width = 2,
        .height = 1,
        .bits = 8,
        .colorsUsed = 2,
        .colors = {0x00FF00, 0x0000FF},
        .pixels = std::string("\x01\x09\0\0", 4)},
       2,
       1,
       {kOpaque | 0x0000FF, kBlack}},
      {"16 bits without masks: 5-5-5",
       {.width = 1, .height = 1, .bits = 16, .pixels = std::string("\x1F\x7C\0\0", 4)},
       1,
       1,
       {kOpaque | 0xFF00FF}},
      {"16 bits with 5-6-5 masks",
       {.width = 1,
        .height = 1,
        .bits = 16,
        .compression = 3,
        .masks = {0xF800, 0x07E0, 0x001F},
        .pixels = std::string("\xE0\x07\0\0", 4)},
       1,
       1,
       {kOpaque | 0x00FF00}},
      {"32 bits with masks in another order",
       {.width = 1,
        .height = 1,
        .bits = 32,
        .compression = 3,
        .masks = {0x000000FF, 0x0000FF00, 0x00FF0000},
        .pixels = std::string("\x11\x22\x33\x44", 4)},
       1,
       1,
       {kOpaque | 0x112233}},
      {"a longer info header is skipped",
       {.infoSize = 108, .width = 1, .height = 1, .pixels = std::string("\x01\x02\x03\0", 4)},
       1,
       1,
       {kOpaque | 0x030201}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const TSkinBitmap b = Read(Bmp(c.layout));
    EXPECT_EQ(b.width, c.width);
    EXPECT_EQ(b.height, c.height);
    EXPECT_EQ(b.pixels, c.expected);
  }
}

TEST(SkinBitmap, ImageSizeFieldDecidesWhereTheBitmapEnds) {
  BmpLayout s{.width = 1,
              .height = 1,
              .sizeImage = 10,
              .pixels = std::string("\x01\x02\x03\0\xEE\xEE\xEE\xEE\xEE\xEE", 10)};
  const std::string bytes = Bmp(s) + "next";
  size_t used = 0;
  const TSkinBitmap b = Read(bytes, &used);
  EXPECT_EQ(b.pixels, std::vector<uint32_t>{kOpaque | 0x030201});
  EXPECT_EQ(bytes.substr(used), "next");
}

TEST(SkinBitmap, RefusesWhatItCannotDecodeSafely) {
  struct Case {
    const char* name;
    std::function<void(BmpLayout&)> damage;
  };
  const std::vector<Case> cases = {
      {"signature", [](BmpLayout& s) { s.signature = "BX"; }},
      {"planes 2", [](BmpLayout& s) { s.planes = 2; }},
      {"planes 0", [](BmpLayout& s) { s.planes = 0; }},
      {"run-length compression",
       [](BmpLayout& s) {
         s.bits = 8;
         s.compression = 1;
       }},
      {"bit fields on 24 bits", [](BmpLayout& s) { s.compression = 3; }},
      {"7 bits per pixel", [](BmpLayout& s) { s.bits = 7; }},
      {"zero mask",
       [](BmpLayout& s) {
         s.bits = 32;
         s.compression = 3;
         s.masks = {0xFF0000, 0, 0xFF};
       }},
      {"300 colours",
       [](BmpLayout& s) {
         s.bits = 8;
         s.colorsUsed = 300;
       }},
      {"width past the cap", [](BmpLayout& s) { s.width = 16385; }},
      {"negative width", [](BmpLayout& s) { s.width = -1; }},
      {"height past the cap, top-down", [](BmpLayout& s) { s.height = -16385; }},
      {"most negative height", [](BmpLayout& s) { s.height = INT32_MIN; }},
      {"image size smaller than the rows", [](BmpLayout& s) { s.sizeImage = 2; }},
      {"info header of 20 bytes", [](BmpLayout& s) { s.infoSize = 20; }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    BmpLayout s{.pixels = std::string(4, '\0')};
    c.damage(s);
    try {
      Read(Bmp(s));
      ADD_FAILURE() << "accepted";
    } catch (const EInvalidGraphic& e) {
      EXPECT_STREQ(e.what(), "Bitmap image is not valid");
    }
  }
}

TEST(SkinBitmap, HugeSidesAndCutRowsNeverAllocate) {
  // 16384 x 16384 at 32 bits claims a GiB of rows; only 4 bytes follow.
  BmpLayout big{.width = 16384, .height = 16384, .bits = 32, .pixels = std::string(4, '\0')};
  EXPECT_THROW(Read(Bmp(big)), EInvalidGraphic);  // past the pixel budget
  SCOPED_TRACE("rows cut short");
  BmpLayout cut{.width = 64, .height = 64, .bits = 8, .pixels = std::string(100, '\0')};
  cut.colors.assign(256, 0);
  EXPECT_THROW(Read(Bmp(cut)), EReadError);
  // The budget is shared: a second bitmap past what is left is refused.
  SCOPED_TRACE("shared budget");
  TPixelBudget budget{.left = 3};
  const std::string two = Bmp({.width = 2, .height = 1, .pixels = std::string(8, '\0')});
  const std::string both = two + two;
  TByteReader in(both);
  ReadBitmap(in, budget);
  EXPECT_THROW(ReadBitmap(in, budget), EInvalidGraphic);
}

TEST(SkinInflate, EndsAtStreamEndOrInputEndAndKeepsToTheCap) {
  const std::string data(100000, 'x');
  const std::string z = test::Zlib(data);
  EXPECT_EQ(InflateBody(z + "trailing bytes"), data);
  const std::string part = InflateBody(z.substr(0, z.size() / 2));
  EXPECT_LT(part.size(), data.size());
  EXPECT_EQ(part, data.substr(0, part.size()));
  EXPECT_EQ(InflateBody(""), "");
  try {
    InflateBody("\x78\xDA garbage");
    ADD_FAILURE();
  } catch (const ECompressionError& e) {
    EXPECT_STREQ(e.what(), "compression error");
  }
  EXPECT_THROW(InflateBody(z, 99999), ECompressionError);
  EXPECT_EQ(InflateBody(z, 100000), data);
}

TEST(SkinText, ParsesSectionsAndKeys) {
  const std::string text =
      "before=ignored\r\n"
      "[One]\r\n"
      "  Key = first  \n"
      "key=second\r"
      "; comment=no\n"
      "noequals\n"
      "a=b=c\n"
      "[two]\n"
      "x=1\n"
      "[ONE]\n"
      "other=3\n"
      "[three]\n"
      "y=2\0[four]\nz=3\n";
  const TSkinText t = TSkinText::Parse(std::string_view(text.data(), text.size() + 0));
  EXPECT_EQ(t.Sections().size(), 3u);  // the zero byte ends the text before [four]
  EXPECT_FALSE(t.HasSection("four"));
  // The later [ONE] replaced the earlier one.
  EXPECT_EQ(t.Value("one", "key"), std::nullopt);
  EXPECT_EQ(t.Value("one", "OTHER"), "3");
  EXPECT_EQ(t.Value("TWO", "x"), "1");
  EXPECT_EQ(t.Value("three", "y"), "2");
  EXPECT_EQ(t.Value("two", "before"), std::nullopt);

  const TSkinText u =
      TSkinText::Parse("[s]\r\nKey = first  \nkey=second\r; c=1\nnoequals\na=b=c\n");
  EXPECT_EQ(u.Value("S", "KEY"), "second");
  EXPECT_EQ(u.Value("s", "; c"), std::nullopt);
  EXPECT_EQ(u.Value("s", "a"), "b=c");
  EXPECT_EQ(u.Section("s")->lines, 4u);
}

TEST(SkinText, ReadsValueForms) {
  const TSkinText t = TSkinText::Parse(
      "[v]\ndec=42\nneg=-7\nhex=0x1F\ndollar=$ff\nword=abc\nbig=99999999999\n"
      "rect=-10, 20 ,3x0,4\npoint=5,6\nshort=7\nyes=1\nno=2\ncolor=15852243\nwhite=0xFFFFFF\n");
  struct Case {
    const char* key;
    int expected;
  };
  for (const Case& c : std::vector<Case>{{"dec", 42},
                                         {"neg", -7},
                                         {"hex", 31},
                                         {"dollar", 255},
                                         {"word", -5},
                                         {"big", -5},
                                         {"missing", -5}}) {
    SCOPED_TRACE(c.key);
    EXPECT_EQ(t.ReadInteger("v", c.key, -5), c.expected);
  }
  EXPECT_EQ(t.ReadRect("v", "rect"), (TSkinRect{10, 20, 30, 4}));
  EXPECT_EQ(t.ReadPoint("v", "point"), (TSkinPoint{5, 6}));
  EXPECT_EQ(t.ReadRect("v", "short"), (TSkinRect{7, 0, 0, 0}));
  EXPECT_TRUE(t.ReadBool("v", "yes", false));
  EXPECT_FALSE(t.ReadBool("v", "no", true));
  EXPECT_TRUE(t.ReadBool("v", "missing", true));
  EXPECT_EQ(t.ReadColor("v", "color", 1), 15852243u);
  EXPECT_EQ(t.ReadColor("v", "white", 1), 0xFFFFFFu);
  EXPECT_EQ(t.ReadPictureIndex("v", "missing"), -1);
}

}  // namespace
}  // namespace qelo::skin
