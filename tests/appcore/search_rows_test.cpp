#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "appcore/search_rows.h"
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

TEST(ListSearchReply, NonAsciiTextInAnyFieldIsConvertedWhereItStands) {
  struct Case {
    const char* what;
    const char* element;
    std::string caption;
    Cells cells;
  };
  const Case cases[] = {
      {"every field ASCII",
       R"({"file_name":"a.rar","file_extension":"rar","file_size":1,"file_time":"t"})", "a.rar",
       Cells{G("rar文件"), "1B", "", "", "t", "", ""}},
      {"Chinese after ASCII text in the same field",
       R"({"file_name":"ab电影.rar","file_extension":"压缩","file_size":2})", G("ab电影.rar"),
       Cells{G("压缩文件"), "2B", "", "", "", "", ""}},
      {"Chinese in a late field",
       R"({"file_name":"x","file_size":3,"file_time":"九月","s_url":"u","file_id":"甲1"})", "x",
       Cells{G("文件"), "3B", "", "", G("九月"), "u", G("甲1")}},
      {"a character GBK cannot hold",
       R"({"file_name":"a\ud83d\ude00b","file_size":4,"file_value":"\u0e01"})", "a?b",
       Cells{G("文件"), "4B", "?", "", "", "", ""}},
      {"escaped ASCII", R"({"file_name":"\u0041\n","file_size":5})", "A\n",
       Cells{G("文件"), "5B", "", "", "", "", ""}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const SearchListing l = ListSearchReply(G((std::string("[") + c.element + "]").c_str()));
    ASSERT_EQ(l.rows.size(), 1u);
    EXPECT_EQ(l.rows[0].caption, c.caption);
    EXPECT_EQ(l.rows[0].cells, c.cells);
  }
}

TEST(ListSearchTable, EveryRowKeepsItsOwnTexts) {
  // Rows of varying lengths, some fields empty, so each row's texts start where the last ended.
  std::string body = "[";
  for (int i = 0; i < 300; ++i) {
    const std::string n = std::to_string(i);
    body += (i ? "," : "") + std::string(R"({"file_name":")") + std::string(i % 7, 'n') + n +
            R"(","file_size":)" + n + R"(,"file_views":")" + (i % 3 ? n : "") +
            R"(","s_url":"http://pan.example/s/)" + n + R"(","file_id":)" + n + "}";
  }
  const SearchTable t = ListSearchTable(body + "]");
  ASSERT_TRUE(t.complete);
  ASSERT_EQ(t.rows.RowCount(), 300u);
  for (size_t r = 0; r < t.rows.RowCount(); ++r) {
    SCOPED_TRACE(r);
    const std::string n = std::to_string(r);
    EXPECT_EQ(t.rows.Caption(r), std::string(r % 7, 'n') + n);
    EXPECT_EQ(t.rows.CellCount(r), kResultCellCount);
    EXPECT_EQ(t.rows.Cell(r, kCellType), G("文件"));
    EXPECT_EQ(t.rows.Cell(r, kCellValue), "");
    EXPECT_EQ(t.rows.Cell(r, kCellViews), r % 3 ? n : "");
    EXPECT_EQ(t.rows.Cell(r, kCellTime), "");
    EXPECT_EQ(t.rows.Cell(r, kCellLink), "http://pan.example/s/" + n);
    EXPECT_EQ(t.rows.Cell(r, kCellId), n);
    EXPECT_EQ(t.rows.IconOf(r), ResultRow::Icon::FileName);
  }
}

TEST(ListSearchTable, StoppedRowHasNoCellsPastItsType) {
  const SearchTable t = ListSearchTable(
      R"([{"file_name":"a","file_size":1,"s_url":"u1"},)"
      R"({"file_name":"b","file_extension":"zip","file_size":"x","s_url":"u2","file_id":9}])");
  EXPECT_FALSE(t.complete);
  ASSERT_EQ(t.rows.RowCount(), 2u);
  EXPECT_EQ(t.rows.Cell(0, kCellLink), "u1");
  EXPECT_EQ(t.rows.CellCount(1), 1);
  EXPECT_EQ(t.rows.Caption(1), "b");
  EXPECT_EQ(t.rows.Cell(1, kCellType), G("zip文件"));
  for (int c = kCellSize; c < kResultCellCount; ++c)
    EXPECT_EQ(t.rows.Cell(1, c), "") << c;
  EXPECT_EQ(t.rows.Cell(1, -1), "");
  EXPECT_EQ(t.rows.Cell(1, kResultCellCount), "");
  EXPECT_EQ(t.rows.IconOf(1), ResultRow::Icon::None);
}

}  // namespace
}  // namespace qelo::app
