#include "text/gbk.h"

#include <gtest/gtest.h>

#include <string>

namespace qelo::text {
namespace {

// "中文" in GBK and UTF-8.
const std::string kZhongWenGbk = "\xD6\xD0\xCE\xC4";
const std::string kZhongWenUtf8 = "\xE4\xB8\xAD\xE6\x96\x87";

TEST(Gbk, RoundTripsMixedText) {
  const std::string gbk = "Qelo" + kZhongWenGbk + " a|b,c";
  EXPECT_EQ(GbkToUtf16(gbk), u"Qelo中文 a|b,c");
  EXPECT_EQ(Utf16ToGbk(u"Qelo中文 a|b,c"), gbk);
  EXPECT_EQ(GbkToUtf8(gbk), "Qelo" + kZhongWenUtf8 + " a|b,c");
  EXPECT_EQ(Utf8ToGbk("Qelo" + kZhongWenUtf8 + " a|b,c"), gbk);
}

TEST(Gbk, EmptyAndNulBytesPassThrough) {
  EXPECT_EQ(GbkToUtf16(""), u"");
  EXPECT_EQ(Utf16ToGbk(u""), "");
  EXPECT_EQ(GbkToUtf8(std::string("a\0b", 3)), std::string("a\0b", 3));
}

struct BadGbk {
  std::string in;
  std::u16string out;
};

TEST(Gbk, InvalidGbkBecomesQuestionMark) {
  const BadGbk cases[] = {
      {"ab\xD6", u"ab?"},                 // lone lead byte at the end
      {"\xD6 x", u"? x"},                 // lead byte before a non-trail byte: it survives
      {"\xD6|x", u"\u8B21x"},             // "|" is a valid second byte: one character
      {"\xFF" + kZhongWenGbk, u"?中文"},  // byte that is never GBK
      {"\xD6\xD0\xD6", u"中?"},
  };
  for (const BadGbk& c : cases) {
    EXPECT_EQ(GbkToUtf16(c.in), c.out) << c.in;
    EXPECT_EQ(Utf8ToGbk(GbkToUtf8(c.in)), Utf16ToGbk(c.out)) << c.in;
  }
}

TEST(Gbk, UnmappableCharactersBecomeQuestionMark) {
  EXPECT_EQ(Utf16ToGbk(u"a\U0001F600b"), "a?b");              // one "?" for a surrogate pair
  EXPECT_EQ(Utf16ToGbk(std::u16string(u"x\xD800y")), "x?y");  // lone surrogate
  EXPECT_EQ(Utf8ToGbk("a\xF0\x9F\x98\x80"
                      "b"),
            "a?b");
  EXPECT_EQ(Utf8ToGbk("a\xC3(b"), "a?(b");  // broken UTF-8
}

TEST(Gbk, LargeInputConvertsWhole) {
  std::string gbk;
  for (int i = 0; i < 200000; ++i)
    gbk += kZhongWenGbk + "x";
  gbk += "\xFF";
  const std::u16string wide = GbkToUtf16(gbk);
  ASSERT_EQ(wide.size(), 600001u);
  EXPECT_EQ(wide.substr(0, 3), u"中文x");
  EXPECT_EQ(wide.back(), u'?');
  EXPECT_EQ(Utf16ToGbk(wide), gbk.substr(0, gbk.size() - 1) + "?");
}

}  // namespace
}  // namespace qelo::text
