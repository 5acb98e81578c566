// A search reply as the rows of the result list. Qt-free, so the main window and qelo-cli list
// a reply the same way.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace qelo::app {

// Columns after the caption: type, size, value index, popularity, date indexed, share link, id.
constexpr int kResultCellCount = 7;
enum ResultCell { kCellType, kCellSize, kCellValue, kCellViews, kCellTime, kCellLink, kCellId };

struct ResultRow {
  enum class Icon {
    None,      // the listing stopped at this row before its icon was looked up
    Generic,   // the placeholder row: the icon of a null name
    FileName,  // the icon of the caption's file type
  };
  std::string caption;             // GBK
  std::vector<std::string> cells;  // GBK; all seven, or fewer when the listing stopped here
  Icon icon = Icon::FileName;
};

struct SearchListing {
  // False when the reply is not JSON or not an array: the list is left empty.
  bool isArray = false;
  // True when every element was listed (or the placeholder row stands for an empty array);
  // false when the listing stopped early or the reply was not an array.
  bool complete = false;
  std::vector<ResultRow> rows;
};

// The caption of the row that stands for an empty result array.
std::string PlaceholderCaption();

// Lists a reply body (GBK): one row per array element, each cell the member's text converted to
// GBK, the size formatted with decimalSeparator. A file_size that is not a valid 32-bit integer
// stops the listing at that element, which keeps its caption and type cell only.
SearchListing ListSearchReply(std::string_view body, char decimalSeparator = '.');

}  // namespace qelo::app
