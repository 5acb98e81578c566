// A search reply as the rows of the result list. Qt-free, so the main window and qelo-cli list
// a reply the same way.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qelo::app {

// Columns after the caption: type, size, value index, popularity, date indexed, share link, id.
constexpr int kResultCellCount = 7;
enum ResultCell { kCellType, kCellSize, kCellValue, kCellViews, kCellTime, kCellLink, kCellId };

struct ResultRow {
  enum class Icon : uint8_t {
    None,      // the listing stopped at this row before its icon was looked up
    Generic,   // the placeholder row: the icon of a null name
    FileName,  // the icon of the caption's file type
  };
  std::string caption;             // GBK
  std::vector<std::string> cells;  // GBK; all seven, or fewer when the listing stopped here
  Icon icon = Icon::FileName;
};

// The rows of a listing kept compactly: all texts (GBK) in one buffer, so a long reply is
// listed with a few allocations rather than several per row. Rows are added field by field:
// StartRow, then for the caption and each cell append its text to Text() and call EndField,
// then EndRow.
class TResultTable {
 public:
  size_t RowCount() const { return rows_.size(); }
  std::string_view Caption(size_t row) const { return Field(row, 0); }
  // The cell's text; empty for a cell the row does not have.
  std::string_view Cell(size_t row, int cell) const;
  // Seven, or fewer for a row where the listing stopped.
  int CellCount(size_t row) const { return rows_[row].cells; }
  ResultRow::Icon IconOf(size_t row) const { return rows_[row].icon; }

  void Reserve(size_t rows, size_t textBytes);
  void StartRow(ResultRow::Icon icon);
  std::string& Text() { return text_; }
  void EndField();
  // Ends the row; the fields not given are empty cells the row does not have.
  void EndRow();
  // The icon of the row being built.
  void SetIcon(ResultRow::Icon icon) { rows_.back().icon = icon; }

 private:
  static constexpr int kFieldCount = 1 + kResultCellCount;
  struct RowInfo {
    ResultRow::Icon icon;
    uint8_t cells;
  };
  std::string_view Field(size_t row, int field) const;

  std::string text_;
  // Where each field ends in text_: kFieldCount per row; a field starts where the one before it
  // (in this row or the last one) ends.
  std::vector<size_t> ends_;
  std::vector<RowInfo> rows_;
  int fields_ = 0;  // fields given in the row being built
};

struct SearchListing {
  // False when the reply is not JSON or not an array: the list is left empty.
  bool isArray = false;
  // True when every element was listed (or the placeholder row stands for an empty array);
  // false when the listing stopped early or the reply was not an array.
  bool complete = false;
  std::vector<ResultRow> rows;
};

// SearchListing with its rows in a TResultTable.
struct SearchTable {
  bool isArray = false;
  bool complete = false;
  TResultTable rows;
};

// The caption of the row that stands for an empty result array.
std::string PlaceholderCaption();

// Lists a reply body (GBK): one row per array element, each cell the member's text converted to
// GBK, the size formatted with decimalSeparator. A file_size that is not a valid 32-bit integer
// stops the listing at that element, which keeps its caption and type cell only.
SearchTable ListSearchTable(std::string_view body, char decimalSeparator = '.');
// The same listing as one ResultRow per row.
SearchListing ListSearchReply(std::string_view body, char decimalSeparator = '.');

}  // namespace qelo::app
