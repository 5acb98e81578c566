// Reply bodies as the client reads them: GBK bytes to UTF-16, the lenient JSON reader, the text
// form of what it read, member lookup of the search reply's keys, and the listing of a reply as
// result rows with their sizes.
//
// Invariants: the text form of a parsed value reads back to a value with the same text form; a
// listing has one row per element (or the placeholder row for an empty array), every row but a
// stopped last one has all its cells; a file_size that reads as a number reads the same again
// from its own decimal text.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "appcore/format_size.h"
#include "appcore/search_rows.h"
#include "json/json.h"
#include "text/gbk.h"

namespace {

using namespace qelo;

constexpr std::u16string_view kReplyKeys[] = {
    u"file_name",  u"file_extension", u"file_size", u"file_value",
    u"file_views", u"file_time",      u"s_url",     u"file_id",
};

[[noreturn]] void Violation(const char* what) {
  std::fprintf(stderr, "invariant violated: %s\n", what);
  std::abort();
}

// A double -0 is written "-0." and reads back as the fixed-point 0, written "0.": the same
// number, so the comparison treats the two texts alike.
std::u16string SignlessZeros(std::u16string text) {
  auto digit = [](char16_t u) { return u >= u'0' && u <= u'9'; };
  for (size_t i = text.find(u"-0."); i != text.npos; i = text.find(u"-0.", i + 1)) {
    const bool alone =
        (i == 0 || !digit(text[i - 1])) && (i + 3 >= text.size() || !digit(text[i + 3]));
    if (alone) text.erase(i, 1);
  }
  return text;
}

void CheckTextForm(const json::IJsonValue& root) {
  const std::u16string text = json::JsonText(root);
  if (root && text.empty() && json::KindOf(root) != json::TJsonKind::Method)
    Violation("a parsed value has an empty text form");
  const json::IJsonValue again = json::ParseJsonText(text);
  if (!again) Violation("the text form of a parsed value does not parse");
  if (SignlessZeros(json::JsonText(again)) != SignlessZeros(text))
    Violation("the text form does not read back unchanged");
}

void CheckMembers(const json::IJsonValue& value) {
  for (std::u16string_view key : kReplyKeys)
    (void)json::MemberText(value, key);
}

void CheckListing(std::string_view body) {
  const app::SearchListing listing = app::ListSearchReply(body, ',');
  if (!listing.isArray) {
    if (listing.complete || !listing.rows.empty()) Violation("a non-array reply was listed");
    return;
  }
  if (listing.rows.empty()) Violation("an array reply gave no row");
  for (size_t i = 0; i < listing.rows.size(); ++i) {
    const app::ResultRow& row = listing.rows[i];
    const bool last = i + 1 == listing.rows.size();
    if (row.icon == app::ResultRow::Icon::None) {
      if (!last || listing.complete || row.cells.size() != 1)
        Violation("a stopped row is not the last, or has other than its type cell");
    } else if (row.cells.size() != app::kResultCellCount) {
      Violation("a listed row lacks cells");
    }
  }
}

void CheckFileSize(std::string_view text) {
  const std::optional<int32_t> size = app::ReadFileSize(text);
  if (!size) return;
  if (app::ReadFileSize(std::to_string(*size)) != size)
    Violation("a file size does not read back from its decimal text");
  const std::string shown = app::FormatSize(*size, '.');
  if (shown.empty() || shown.back() != 'B') Violation("a formatted size does not end in B");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view body(reinterpret_cast<const char*>(data), size);
  const json::IJsonValue root = json::ParseJsonText(text::GbkToUtf16(body));
  if (root) {
    CheckTextForm(root);
    CheckMembers(root);
    // Keys are the program's own texts, but the lookup reads them with the same lenient
    // machine: the body's first line, as a key, must be read safely too.
    (void)json::MemberText(root,
                           text::GbkToUtf16(body.substr(0, std::min<size_t>(32, body.find('\n')))));
    const json::TJsonArray* list = json::ArrayOf(root);
    const int32_t count = json::ElementCount(list);
    for (int32_t i = 0; i < count && i < 64; ++i)
      CheckMembers(json::ElementAt(list, i));
  }
  CheckListing(body);
  CheckFileSize(body.substr(0, 24));
  if (size >= 8) {
    int64_t n = 0;
    for (int i = 0; i < 8; ++i)
      n = static_cast<int64_t>(static_cast<uint64_t>(n) << 8 | data[i]);
    const std::string shown = app::FormatSize(n, ',');
    if (shown.empty() || shown.back() != 'B') Violation("a formatted size does not end in B");
  }
  return 0;
}
