#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "text/app_dir.h"
#include "text/append_line.h"
#include "text/ascii_text.h"
#include "text/text_fields.h"

namespace qelo::text {
namespace {

struct PickCase {
  char delimiter;
  std::string text;
  int index;
  std::string field;
};

TEST(PickField, SplitsByTheRules) {
  const PickCase cases[] = {
      {'|', "Charm|user", 0, "Charm"},
      {'|', "Charm|user", 1, "user"},
      {'|', "Charm", 0, "Charm"},
      {'|', "  Charm ", 3, "  Charm "},  // one field: the whole text, blanks included
      {'|', "", 4, ""},
      {'|', "Dark Blue|user", 0, "Dark"},  // blanks split too
      {'|', "Dark Blue|user", 1, "Blue"},
      {'|', "a b", 0, "a"},
      {',', "a,,b", 1, ""},
      {',', "a,,b", 2, "b"},
      {',', "a , b", 1, "b"},  // blanks next to a delimiter vanish
      {',', "a,b,", 2, ""},    // final delimiter adds an empty field
      {',', ",a", 0, ""},
      {',', "\"x,y\",z", 0, "x,y"},  // quoted field
      {',', "\"say \"\"hi\"\"\",z", 0, "say \"hi\""},
      {',', "\"open,z", 0, "\"open,z"},  // unclosed quote runs to the end: one field
      {',', "a\tb", 1, "b"},
      {'|', std::string("a|b\0|c", 6), 1, "b"},  // a byte 0 ends the text
  };
  for (const PickCase& c : cases) {
    EXPECT_EQ(PickField(c.delimiter, c.text, c.index), c.field)
        << "'" << c.delimiter << "' " << c.text << " [" << c.index << "]";
  }
}

TEST(PickField, DoubleByteCharactersAreOneStep) {
  // A lead byte takes the next byte with it, whatever that byte is: "|", "@" or a quote.
  const std::string pipeSecond = "\xD6|";
  EXPECT_EQ(PickField('|', pipeSecond + "x|user", 0), pipeSecond + "x");
  EXPECT_EQ(PickField('|', pipeSecond + "|user", 1), "user");
  EXPECT_EQ(PickField('@', "\xB0@a@b", 1), "b");
  EXPECT_EQ(PickField(',', "\"\xD6\"\",x", 0), "\xD6\"");  // quote after a lead byte pairs with it
}

TEST(PickField, MissingIndexFails) {
  for (int index : {5, 2, -1}) {
    try {
      PickField(',', "a,b", index);
      ADD_FAILURE() << index;
    } catch (const EListError& e) {
      EXPECT_EQ(std::string(e.what()), "List index out of bounds (" + std::to_string(index) + ")");
    }
  }
}

TEST(CountOf, CountsRemovedCharacters) {
  EXPECT_EQ(CountOf("a,b,c", ","), 2);
  EXPECT_EQ(CountOf("", ","), 0);
  EXPECT_EQ(CountOf("abc", ","), 0);
  EXPECT_EQ(CountOf(",,,", ","), 3);
  EXPECT_EQ(CountOf("aaa", "aa"), 2);  // without overlap
  EXPECT_EQ(CountOf("abc", ""), 0);
  EXPECT_EQ(CountOf("\xD6|a|", "|"), 1);  // the second byte of a character is not counted
}

TEST(AsciiText, TrimTakesBytesUpTo32AndNothingAbove) {
  const std::pair<std::string_view, std::string_view> cases[] = {
      {"  word\t\r\n", "word"},
      {std::string_view("\0\x01"
                        "a b\x1F\x20",
                        6),
       "a b"},
      {"\x7F x \x7F", "\x7F x \x7F"},              // DEL is not a blank
      {"\xA1\xA1x\xA1\xA1", "\xA1\xA1x\xA1\xA1"},  // a GBK full-width blank stays
      {" \xD6\xD0 ", "\xD6\xD0"},
      {" \t ", ""},
      {"", ""},
  };
  for (const auto& [input, trimmed] : cases) {
    SCOPED_TRACE(std::string(input));
    EXPECT_EQ(Trim(input), trimmed);
  }
}

TEST(AsciiText, LowerAndPrefixTouchOnlyAsciiLetters) {
  EXPECT_EQ(AsciiLower("Content-TYPE: Text/HTML; charset=GBK"),
            "content-type: text/html; charset=gbk");
  // Bytes above 127 (GBK lead and trail bytes) pass unchanged, 0xC1 and 0xD6 included.
  EXPECT_EQ(AsciiLower("\xC1\xD6\xC4\xDA@[`{"), "\xC1\xD6\xC4\xDA@[`{");
  EXPECT_TRUE(StartsWithNoCase("<!doctype html>", "<!DOCTYPE"));
  EXPECT_TRUE(StartsWithNoCase("HTTP://x", "http:"));
  EXPECT_FALSE(StartsWithNoCase("<!doc", "<!DOCTYPE"));
}

class TempDir : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/qelo-text-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
  }
  void TearDown() override {
    std::string cmd = "rm -rf '" + dir_ + "'";
    EXPECT_EQ(std::system(cmd.c_str()), 0);
  }
  static std::string Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
  }
  std::string dir_;
};

TEST_F(TempDir, AppendLineTruncatesOrAppends) {
  const std::string path = dir_ + "/settings.cfg";
  AppendLine(path, "first", false);  // missing file: created
  EXPECT_EQ(Read(path), "first\r\n");
  AppendLine(path, "second", false);
  EXPECT_EQ(Read(path), "first\r\nsecond\r\n");
  AppendLine(path, "only", true);
  EXPECT_EQ(Read(path), "only\r\n");
  AppendLine(path, "", false);
  EXPECT_EQ(Read(path), "only\r\n\r\n");
}

TEST_F(TempDir, AppendLineReportsTheSystemError) {
  try {
    AppendLine(dir_ + "/no/such/dir/settings.cfg", "x", true);
    ADD_FAILURE() << "no error";
  } catch (const EInOutError& e) {
    EXPECT_EQ(e.ErrorCode(), ENOENT);
    EXPECT_NE(std::string(e.what()).find("settings.cfg"), std::string::npos);
  }
  const std::string sub = dir_ + "/ro";
  ASSERT_EQ(mkdir(sub.c_str(), 0500), 0);
  if (geteuid() != 0) {  // root may write anywhere
    try {
      AppendLine(sub + "/settings.cfg", "x", false);
      ADD_FAILURE() << "no error";
    } catch (const EInOutError& e) {
      EXPECT_EQ(e.ErrorCode(), EACCES);
    }
  }
}

TEST(AppDir, IsTheExecutablesDirectory) {
  const std::string dir = AppDir();
  ASSERT_FALSE(dir.empty());
  EXPECT_EQ(dir.front(), '/');
  EXPECT_EQ(dir.back(), '/');
  char exe[4096];
  const ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
  ASSERT_GT(n, 0);
  const std::string path(exe, static_cast<size_t>(n));
  EXPECT_EQ(path.substr(0, dir.size()), dir);
  EXPECT_EQ(path.find('/', dir.size()), std::string::npos);
}

}  // namespace
}  // namespace qelo::text
