#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/search_rows.h"
#include "text/gbk.h"

namespace qelo::app {
namespace {

using Cells = std::vector<std::string>;

std::string G(const char* utf8) {
  return text::Utf8ToGbk(utf8);
}

TEST(ListSearchReply, FullRowsFromGbkReply) {
  const std::string body =
      G(R"([{"file_name":"电影合集.rar","file_extension":"rar","file_size":"1536","file_value":8,)"
        R"("file_views":"120","file_time":"2013-09-01","s_url":"http://pan.example/s/abc",)"
        R"("file_id":123,"extra":"ignored"},)"
        R"({"file_name":"b.txt","file_size":12}])");
  const SearchListing l = ListSearchReply(body);
  EXPECT_TRUE(l.isArray);
  EXPECT_TRUE(l.complete);
  ASSERT_EQ(l.rows.size(), 2u);
  EXPECT_EQ(l.rows[0].caption, G("电影合集.rar"));
  EXPECT_EQ(l.rows[0].cells, (Cells{G("rar文件"), "1.50KB", "8", "120", "2013-09-01",
                                    "http://pan.example/s/abc", "123"}));
  EXPECT_EQ(l.rows[0].icon, ResultRow::Icon::FileName);
  // Absent keys give empty texts; an absent extension leaves the type cell "文件".
  EXPECT_EQ(l.rows[1].cells, (Cells{G("文件"), "12B", "", "", "", "", ""}));
}

TEST(ListSearchReply, WhatIsNotAListOfResults) {
  struct Case {
    const char* body;
    bool isArray;
    bool complete;
    size_t rows;
  };
  const Case cases[] = {
      {"[]", true, true, 1},  // the placeholder row
      {"{}", false, false, 0},       {"", false, false, 0},   {"not json", false, false, 0},
      {"\"text\"", false, false, 0}, {"42", false, false, 0},
  };
  for (const Case& c : cases) {
    const SearchListing l = ListSearchReply(c.body);
    EXPECT_EQ(l.isArray, c.isArray) << c.body;
    EXPECT_EQ(l.complete, c.complete) << c.body;
    EXPECT_EQ(l.rows.size(), c.rows) << c.body;
  }
  const ResultRow placeholder = ListSearchReply("[]").rows.at(0);
  EXPECT_EQ(placeholder.caption, G("...暂无文件..."));
  EXPECT_EQ(placeholder.cells, Cells(7));
  EXPECT_EQ(placeholder.icon, ResultRow::Icon::Generic);
}

TEST(ListSearchReply, InvalidSizeStopsTheListingAtThatElement) {
  for (const char* bad : {R"("12 ")", R"("2147483648")", R"("")", "1.5", R"("abc")"}) {
    const std::string body = std::string(R"([{"file_name":"a.zip","file_size":" 12"},)") +
                             R"({"file_name":"b.zip","file_extension":"zip","file_size":)" + bad +
                             R"(,"s_url":"u"},{"file_name":"c.zip","file_size":1}])";
    const SearchListing l = ListSearchReply(body);
    EXPECT_TRUE(l.isArray) << bad;
    EXPECT_FALSE(l.complete) << bad;
    ASSERT_EQ(l.rows.size(), 2u) << bad;
    EXPECT_EQ(l.rows[0].cells.size(), 7u);
    EXPECT_EQ(l.rows[0].cells[kCellSize], "12B");
    EXPECT_EQ(l.rows[1].caption, "b.zip");
    EXPECT_EQ(l.rows[1].cells, Cells{G("zip文件")}) << bad;
    EXPECT_EQ(l.rows[1].icon, ResultRow::Icon::None);
  }
}

TEST(ListSearchReply, SizeUsesTheDecimalSeparator) {
  const SearchListing l = ListSearchReply(R"([{"file_size":1048576}])", ',');
  EXPECT_EQ(l.rows.at(0).cells.at(kCellSize), "1,00MB");
}

}  // namespace
}  // namespace qelo::app
