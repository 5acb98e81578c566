#include "app/search_rows.h"

#include "app/format_size.h"
#include "json/json.h"
#include "text/gbk.h"

namespace qelo::app {

namespace {

// ASCII text is the same in UTF-16 and GBK; most fields (sizes, numbers, links) are ASCII.
std::string ToGbk(const std::u16string& text) {
  std::string out(text.size(), '\0');
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] >= 0x80) return text::Utf16ToGbk(text);
    out[i] = static_cast<char>(text[i]);
  }
  return out;
}

std::string Member(const json::IJsonValue& element, std::u16string_view key) {
  return ToGbk(json::MemberText(element, key));
}

}  // namespace

std::string PlaceholderCaption() {
  return text::Utf8ToGbk("...暂无文件...");
}

SearchListing ListSearchReply(std::string_view body, char decimalSeparator) {
  SearchListing listing;
  const json::IJsonValue root = json::ParseJsonText(text::GbkToUtf16(body));
  const json::TJsonArray* list = root ? json::ArrayOf(root) : nullptr;
  if (!list) return listing;
  listing.isArray = true;

  const int32_t count = json::ElementCount(list);
  if (count < 1) {
    listing.rows.push_back(ResultRow{PlaceholderCaption(),
                                     std::vector<std::string>(kResultCellCount),
                                     ResultRow::Icon::Generic});
    listing.complete = true;
    return listing;
  }

  static const std::string kFileSuffix = text::Utf8ToGbk("文件");
  listing.rows.reserve(static_cast<size_t>(count));
  for (int32_t i = 0; i < count; ++i) {
    const json::IJsonValue element = json::ElementAt(list, i);
    ResultRow& row = listing.rows.emplace_back();
    row.caption = Member(element, u"file_name");
    row.cells.reserve(kResultCellCount);
    row.cells.push_back(Member(element, u"file_extension") + kFileSuffix);
    const std::optional<int32_t> size = ReadFileSize(Member(element, u"file_size"));
    if (!size) {
      row.icon = ResultRow::Icon::None;
      return listing;
    }
    row.cells.push_back(FormatSize(*size, decimalSeparator));
    row.cells.push_back(Member(element, u"file_value"));
    row.cells.push_back(Member(element, u"file_views"));
    row.cells.push_back(Member(element, u"file_time"));
    row.cells.push_back(Member(element, u"s_url"));
    row.cells.push_back(Member(element, u"file_id"));
  }
  listing.complete = true;
  return listing;
}

}  // namespace qelo::app
