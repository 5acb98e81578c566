#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <stdexcept>
#include <string>

#include "appcore/file_lines.h"
#include "appcore/format_size.h"

namespace qelo::app {
namespace {

TEST(FormatSize, UnitsThresholdsAndRounding) {
  struct Case {
    int64_t n;
    const char* expected;
  };
  const Case cases[] = {
      {0, "0B"},
      {1023, "1023B"},
      {1024, "1.00KB"},
      {1152, "1.13KB"},  // 1.125: an exact half goes away from zero
      {1536, "1.50KB"},
      {1048575, "1024.00KB"},  // rounds up but stays in the smaller unit
      {1048576, "1.00MB"},
      {1073741823, "1024.00MB"},
      {1073741824, "1.00GB"},
      {2147483647, "2.00GB"},
      {-5, "-5B"},
      {-2147483648LL, "-2147483648B"},  // negatives never reach a unit
      {1024 + 5, "1.00KB"},             // 1.0048...: rounds down
      {1024 + 6, "1.01KB"},             // 1.0058...: rounds up
      {10LL * 1024 * 1024 * 1024 * 1024, "10240.00GB"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(FormatSize(c.n), c.expected) << c.n;
}

TEST(FormatSize, UsesTheGivenDecimalSeparator) {
  EXPECT_EQ(FormatSize(1536, ','), "1,50KB");
  EXPECT_EQ(FormatSize(1000, ','), "1000B");
}

TEST(ReadFileSize, AcceptsDecimalAndHexadecimalThatFit32Bits) {
  struct Case {
    const char* text;
    std::optional<int32_t> expected;
  };
  const Case cases[] = {
      {"12", 12},
      {" 12", 12},
      {"   -7", -7},
      {"+2147483647", 2147483647},
      {"-2147483648", INT32_MIN},
      {"$ff", 255},
      {"0x10", 16},
      {"0XfF", 255},
      {"x1A", 26},
      {"XFFFFFFFF", -1},  // two's complement
      {"-$10", -16},
      {"0", 0},
      {"007", 7},
      // Not valid: the listing stops at such an element.
      {"", std::nullopt},
      {" ", std::nullopt},
      {"12 ", std::nullopt},
      {"2147483648", std::nullopt},
      {"-2147483649", std::nullopt},
      {"0x100000000", std::nullopt},
      {"0x", std::nullopt},
      {"$", std::nullopt},
      {"1.5", std::nullopt},
      {"12abc", std::nullopt},
      {"\t12", std::nullopt},  // only blanks may lead
      {"--1", std::nullopt},
      {"99999999999999999999999", std::nullopt},
  };
  for (const Case& c : cases)
    EXPECT_EQ(ReadFileSize(c.text), c.expected) << '"' << c.text << '"';
}

TEST(SplitLines, EndsLinesAtCrLfAndCrLf) {
  using Lines = std::vector<std::string>;
  EXPECT_EQ(SplitLines(""), Lines{});
  EXPECT_EQ(SplitLines("a"), Lines{"a"});
  EXPECT_EQ(SplitLines("a\r\nb\rc\nd"), (Lines{"a", "b", "c", "d"}));
  EXPECT_EQ(SplitLines("a\r\n"), Lines{"a"});
  EXPECT_EQ(SplitLines("a\n\nb\n"), (Lines{"a", "", "b"}));
  EXPECT_EQ(SplitLines("\r\n"), Lines{""});
  EXPECT_EQ(SplitLines("a\n\r"), (Lines{"a", ""}));  // LF then a lone CR
}

TEST(ReadWholeFile, ReadsBytesAndReportsWhatCannotBeRead) {
  char tmpl[] = "/tmp/qelo-lines-XXXXXX";
  ASSERT_NE(mkdtemp(tmpl), nullptr);
  const std::string dir = tmpl;
  const std::string file = dir + "/info.txt";
  std::ofstream(file, std::ios::binary) << std::string("a\r\n\0b", 5);
  EXPECT_EQ(ReadWholeFile(file), std::string("a\r\n\0b", 5));
  // A directory in the file's place, or no file at all, is an error, not an empty text.
  EXPECT_THROW(ReadWholeFile(dir), std::runtime_error);
  EXPECT_THROW(ReadWholeFile(dir + "/missing.txt"), std::runtime_error);
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace qelo::app
