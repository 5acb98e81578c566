#include "app/search_rows.h"

#include <optional>

#include "app/format_size.h"
#include "json/json.h"
#include "text/gbk.h"

namespace qelo::app {

namespace {

// Appends text as GBK. ASCII text is the same in UTF-16 and GBK, and most fields (sizes,
// numbers, links) are ASCII, so those are copied without a conversion.
void AppendGbk(std::string& out, std::u16string_view text) {
  const size_t at = out.size();
  out.resize(at + text.size());
  char* dst = out.data() + at;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] >= 0x80) {
      out.resize(at);
      out += text::Utf16ToGbk(text);
      return;
    }
    dst[i] = static_cast<char>(text[i]);
  }
}

void AppendMember(std::string& out, const json::IJsonValue& element, std::u16string_view key) {
  AppendGbk(out, json::MemberText(element, key));
}

// One array element as a row; false when its file_size stops the listing.
bool AddElementRow(TResultTable& table, const json::IJsonValue& element, char decimalSeparator,
                   std::string& scratch) {
  static const std::string kFileSuffix = text::Utf8ToGbk("文件");
  table.StartRow(ResultRow::Icon::FileName);
  std::string& text = table.Text();
  AppendMember(text, element, u"file_name");
  table.EndField();
  AppendMember(text, element, u"file_extension");
  text += kFileSuffix;
  table.EndField();
  scratch.clear();
  AppendMember(scratch, element, u"file_size");
  const std::optional<int32_t> size = ReadFileSize(scratch);
  if (!size) {
    table.SetIcon(ResultRow::Icon::None);
    table.EndRow();
    return false;
  }
  text += FormatSize(*size, decimalSeparator);
  table.EndField();
  for (std::u16string_view key :
       {u"file_value", u"file_views", u"file_time", u"s_url", u"file_id"}) {
    AppendMember(text, element, key);
    table.EndField();
  }
  table.EndRow();
  return true;
}

}  // namespace

std::string_view TResultTable::Field(size_t row, int field) const {
  const size_t at = row * kFieldCount + static_cast<size_t>(field);
  const size_t begin = at == 0 ? 0 : ends_[at - 1];
  return std::string_view(text_).substr(begin, ends_[at] - begin);
}

std::string_view TResultTable::Cell(size_t row, int cell) const {
  if (cell < 0 || cell >= kResultCellCount) return {};
  return Field(row, 1 + cell);
}

void TResultTable::Reserve(size_t rows, size_t textBytes) {
  rows_.reserve(rows);
  ends_.reserve(rows * kFieldCount);
  text_.reserve(textBytes);
}

void TResultTable::StartRow(ResultRow::Icon icon) {
  rows_.push_back(RowInfo{icon, 0});
  fields_ = 0;
}

void TResultTable::EndField() {
  ends_.push_back(text_.size());
  ++fields_;
}

void TResultTable::EndRow() {
  rows_.back().cells = static_cast<uint8_t>(fields_ > 0 ? fields_ - 1 : 0);
  while (fields_ < kFieldCount)
    EndField();
  fields_ = 0;
}

std::string PlaceholderCaption() {
  return text::Utf8ToGbk("...暂无文件...");
}

SearchTable ListSearchTable(std::string_view body, char decimalSeparator) {
  SearchTable listing;
  const json::IJsonValue root = json::ParseJsonText(text::GbkToUtf16(body));
  const json::TJsonArray* list = root ? json::ArrayOf(root) : nullptr;
  if (!list) return listing;
  listing.isArray = true;

  const int32_t count = json::ElementCount(list);
  TResultTable& table = listing.rows;
  if (count < 1) {
    table.StartRow(ResultRow::Icon::Generic);
    table.Text() += PlaceholderCaption();
    table.EndField();
    for (int c = 0; c < kResultCellCount; ++c)
      table.EndField();
    table.EndRow();
    listing.complete = true;
    return listing;
  }

  // The texts are a part of the reply's own bytes, give or take a few per row.
  table.Reserve(static_cast<size_t>(count), body.size());
  std::string scratch;
  for (int32_t i = 0; i < count; ++i) {
    if (!AddElementRow(table, json::ElementAt(list, i), decimalSeparator, scratch)) return listing;
  }
  listing.complete = true;
  return listing;
}

SearchListing ListSearchReply(std::string_view body, char decimalSeparator) {
  SearchTable table = ListSearchTable(body, decimalSeparator);
  SearchListing listing{table.isArray, table.complete, {}};
  const TResultTable& rows = table.rows;
  listing.rows.reserve(rows.RowCount());
  for (size_t r = 0; r < rows.RowCount(); ++r) {
    ResultRow& row = listing.rows.emplace_back();
    row.caption = rows.Caption(r);
    row.cells.reserve(static_cast<size_t>(rows.CellCount(r)));
    for (int c = 0; c < rows.CellCount(r); ++c)
      row.cells.emplace_back(rows.Cell(r, c));
    row.icon = rows.IconOf(r);
  }
  return listing;
}

}  // namespace qelo::app
