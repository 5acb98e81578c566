#include "appcore/search_rows.h"

#include <optional>
#include <utility>

#include "appcore/format_size.h"
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

// Builds ResultRows field by field the way a TResultTable is built.
class TResultRowsBuilder {
 public:
  explicit TResultRowsBuilder(std::vector<ResultRow>& rows) : rows_(rows) {}
  void Reserve(size_t rows, size_t /*textBytes*/) { rows_.reserve(rows); }
  void StartRow(ResultRow::Icon icon) {
    rows_.emplace_back().icon = icon;
    rows_.back().cells.reserve(kResultCellCount);
    captionDone_ = false;
  }
  std::string& Text() { return field_; }
  void EndField() {
    ResultRow& row = rows_.back();
    if (captionDone_)
      row.cells.push_back(std::move(field_));
    else
      row.caption = std::move(field_);
    captionDone_ = true;
    field_.clear();
  }
  void EndRow() {}
  void SetIcon(ResultRow::Icon icon) { rows_.back().icon = icon; }

 private:
  std::vector<ResultRow>& rows_;
  std::string field_;
  bool captionDone_ = false;
};

// One array element as a row; false when its file_size stops the listing.
template <class Rows>
bool AddElementRow(Rows& table, const json::IJsonValue& element, char decimalSeparator,
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

namespace {

// The listing into rows built field by field; sets isArray and complete.
template <class Rows>
void ListInto(std::string_view body, char decimalSeparator, Rows& rows, bool& isArray,
              bool& complete) {
  const json::IJsonValue root = json::ParseJsonText(text::GbkToUtf16(body));
  const json::TJsonArray* list = root ? json::ArrayOf(root) : nullptr;
  if (!list) return;
  isArray = true;

  const int32_t count = json::ElementCount(list);
  if (count < 1) {
    rows.StartRow(ResultRow::Icon::Generic);
    rows.Text() += PlaceholderCaption();
    rows.EndField();
    for (int c = 0; c < kResultCellCount; ++c)
      rows.EndField();
    rows.EndRow();
    complete = true;
    return;
  }

  // The texts are a part of the reply's own bytes, give or take a few per row.
  rows.Reserve(static_cast<size_t>(count), body.size());
  std::string scratch;
  for (int32_t i = 0; i < count; ++i) {
    if (!AddElementRow(rows, json::ElementAt(list, i), decimalSeparator, scratch)) return;
  }
  complete = true;
}

}  // namespace

SearchTable ListSearchTable(std::string_view body, char decimalSeparator) {
  SearchTable listing;
  ListInto(body, decimalSeparator, listing.rows, listing.isArray, listing.complete);
  return listing;
}

SearchListing ListSearchReply(std::string_view body, char decimalSeparator) {
  SearchListing listing;
  TResultRowsBuilder rows(listing.rows);
  ListInto(body, decimalSeparator, rows, listing.isArray, listing.complete);
  return listing;
}

}  // namespace qelo::app
