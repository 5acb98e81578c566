#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "skin/skin_cache.h"
#include "skin/skin_list.h"
#include "skin/skin_names.h"
#include "text/gbk.h"
#include "text/text_fields.h"

namespace qelo::skin {
namespace {

std::string G(const char* utf8) {
  return text::Utf8ToGbk(utf8);
}

TEST(SkinNames, WhatMayBeUsed) {
  const struct {
    std::string name;
    SkinNameProblem problem;
  } kCases[] = {
      {"Charm", SkinNameProblem::None},
      {"", SkinNameProblem::None},
      {G("蓝色经典"), SkinNameProblem::None},
      // "\" (0x5C) as the second byte of a Chinese character is not a separator.
      {G("运行"), SkinNameProblem::None},
      {"a.b", SkinNameProblem::None},
      {"../x", SkinNameProblem::PathCharacter},
      {"..", SkinNameProblem::PathCharacter},
      {"a/b", SkinNameProblem::PathCharacter},
      {"a\\b", SkinNameProblem::PathCharacter},
      {"a\r\n", SkinNameProblem::ControlCharacter},
      {std::string("a\0b", 3), SkinNameProblem::ControlCharacter},
      {"a\x7f", SkinNameProblem::ControlCharacter},
      {"a&action=list", SkinNameProblem::UrlCharacter},
      {"a#b", SkinNameProblem::UrlCharacter},
      {"a?b", SkinNameProblem::UrlCharacter},
      {"a%2e%2e", SkinNameProblem::UrlCharacter},
      {"\xff\xfe", SkinNameProblem::NotGbk},
      {"abc\x81", SkinNameProblem::NotGbk},
      {std::string(kMaxSkinNameBytes + 1, 'a'), SkinNameProblem::TooLong},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(CheckSkinName(c.name), c.problem);
    EXPECT_EQ(TSkinName::Make(c.name).has_value(), c.problem == SkinNameProblem::None);
  }
  EXPECT_EQ(CheckSkinName(std::string(kMaxSkinNameBytes, 'a')), SkinNameProblem::None);
}

TEST(SkinNames, EveryRefusalHasItsOwnText) {
  const SkinNameProblem kProblems[] = {
      SkinNameProblem::PathCharacter, SkinNameProblem::ControlCharacter,
      SkinNameProblem::UrlCharacter, SkinNameProblem::NotGbk, SkinNameProblem::TooLong};
  std::vector<std::string> texts;
  for (SkinNameProblem p : kProblems) {
    const std::string t = SkinNameRefusal(p);
    EXPECT_FALSE(t.empty());
    for (const std::string& earlier : texts)
      EXPECT_NE(t, earlier);
    texts.push_back(t);
  }
  EXPECT_TRUE(SkinNameRefusal(SkinNameProblem::None).empty());
}

std::vector<std::string> Names(const std::vector<SkinRow>& rows) {
  std::vector<std::string> names;
  for (const SkinRow& r : rows)
    names.push_back(r.name);
  return names;
}

TEST(SkinList, RowsFollowTheCommasAndThePickFieldRules) {
  const struct {
    std::string reply;
    std::vector<std::string> names;
  } kCases[] = {
      {"Charm,Dark", {"Charm", "Dark"}},
      {"", {""}},
      {"Charm", {"Charm"}},
      // No comma and no blank: the whole reply, line break included.
      {"Charm\r\n", {"Charm\r\n"}},
      // A blank splits too: one comma, two rows, the second name drops off.
      {"Dark Blue,Charm", {"Dark", "Blue"}},
      // Empty names at either end and between two commas.
      {",a,,", {"", "a", "", ""}},
      {G("蓝色,红色"), {G("蓝色"), G("红色")}},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.reply);
    const std::vector<SkinRow> rows = BuildSkinTable(c.reply);
    EXPECT_EQ(Names(rows), c.names);
    for (const SkinRow& r : rows)
      EXPECT_EQ(r.entry, r.name + G("皮肤"));
  }
}

TEST(SkinList, TooFewFieldsIsTheListError) {
  // Two commas, but the quoted name keeps one of them: two fields for three rows.
  try {
    BuildSkinTable("\"a,b\",c");
    FAIL() << "no error";
  } catch (const text::EListError& e) {
    EXPECT_STREQ(e.what(), "List index out of bounds (2)");
  }
}

TEST(SkinList, ClickTableSourceIsTheSixthBarField) {
  EXPECT_EQ(ClickTableSource("Charm,Dark"), "Charm,Dark");
  EXPECT_EQ(ClickTableSource("a|b|c|d|e|x,y"), "x,y");
  try {
    ClickTableSource("Dark Blue,Charm");
    FAIL() << "no error";
  } catch (const text::EListError& e) {
    EXPECT_STREQ(e.what(), "List index out of bounds (5)");
  }
}

class SkinCacheTest : public testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/qelo-skincache-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }
  std::string Dir() const { return dir_ + "/"; }
  void Write(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
  }
  std::string Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  std::string dir_;
};

TEST_F(SkinCacheTest, PathsAreTheNameAndAnEndingInsideTheCache) {
  TSkinCache cache(Dir());
  EXPECT_EQ(cache.PathOf(*TSkinName::Make("Charm"), kContainerTmpEnding), Dir() + "Charm.skn.tmp");
  EXPECT_EQ(cache.PathOf(*TSkinName::Make(""), kContainerEnding), Dir() + ".skn");
}

TEST_F(SkinCacheTest, AHeldFileIsLockedAndCannotBeCreatedAgain) {
  TSkinCache cache(Dir());
  const std::string path = cache.PathOf(*TSkinName::Make("Charm"), kPictureTmpEnding);
  Write(path, "old");
  EXPECT_FALSE(cache.IsFileLocked(path));
  {
    auto held = cache.CreateHeld(path, kMaxPictureTransfer);
    EXPECT_EQ(Read(path), "") << "an existing file is emptied";
    held->Stream().WriteBuffer("partial", 7);
    EXPECT_TRUE(cache.IsHeld(path));
    EXPECT_TRUE(cache.IsFileLocked(path));
    try {
      cache.CreateHeld(path, kMaxPictureTransfer);
      FAIL() << "created twice";
    } catch (const EFCreateError& e) {
      EXPECT_EQ(std::string(e.what()).rfind("Cannot create file \"" + path + "\". ", 0), 0u)
          << e.what();
    }
    EXPECT_EQ(Read(path), "partial") << "the running transfer's bytes stay";
  }
  EXPECT_FALSE(cache.IsHeld(path));
  EXPECT_FALSE(cache.IsFileLocked(path));
  EXPECT_EQ(Read(path), "partial");
  auto again = cache.CreateHeld(path, kMaxPictureTransfer);
  EXPECT_EQ(Read(path), "");
}

TEST_F(SkinCacheTest, AHeldFileDoesNotGrowPastItsLimit) {
  TSkinCache cache(Dir());
  const std::string path = Dir() + "big.jpg.tmp";
  auto held = cache.CreateHeld(path, 8);
  held->Stream().WriteBuffer("12345678", 8);
  EXPECT_THROW(held->Stream().WriteBuffer("9", 1), net::EStreamError);
  held->Stream().SetPosition(100);
  EXPECT_THROW(held->Stream().WriteBuffer("x", 1), net::EStreamError) << "no write far out";
  EXPECT_THROW(held->Stream().SetSize(int64_t{1} << 40), net::EStreamError);
  EXPECT_EQ(Read(path), "12345678");
}

TEST_F(SkinCacheTest, LockedByAnotherDescriptorOrMissing) {
  TSkinCache cache(Dir());
  const std::string path = Dir() + "x.jpg.tmp";
  EXPECT_FALSE(cache.IsFileLocked(path)) << "a missing file is not locked";
  Write(path, "bytes");
  const int fd = ::open(path.c_str(), O_RDWR);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::flock(fd, LOCK_EX), 0);
  EXPECT_TRUE(cache.IsFileLocked(path));
  EXPECT_THROW(cache.CreateHeld(path, kMaxPictureTransfer), EFCreateError);
  EXPECT_EQ(Read(path), "bytes") << "a file locked elsewhere is not emptied";
  ::close(fd);
  EXPECT_FALSE(cache.IsFileLocked(path));
}

TEST_F(SkinCacheTest, CreateFailsInAMissingDirectory) {
  TSkinCache cache(Dir() + "missing/");
  const std::string path = cache.PathOf(*TSkinName::Make("Charm"), kContainerTmpEnding);
  try {
    cache.CreateHeld(path, kMaxPictureTransfer);
    FAIL() << "created";
  } catch (const EFCreateError& e) {
    EXPECT_EQ(std::string(e.what()),
              "Cannot create file \"" + path + "\". " + std::strerror(ENOENT));
  }
  EXPECT_EQ(cache.HeldCount(), 0u);
}

TEST_F(SkinCacheTest, FileSizeOfRegularFilesOnly) {
  Write(Dir() + "empty.jpg", "");
  Write(Dir() + "full.jpg", "12345");
  EXPECT_EQ(FileSize(Dir() + "empty.jpg"), 0);
  EXPECT_EQ(FileSize(Dir() + "full.jpg"), 5);
  EXPECT_EQ(FileSize(Dir() + "missing.jpg"), std::nullopt);
  EXPECT_EQ(FileSize(dir_), std::nullopt);
}

}  // namespace
}  // namespace qelo::skin
