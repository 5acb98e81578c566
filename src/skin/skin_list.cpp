#include "skin/skin_list.h"

#include "text/gbk.h"
#include "text/text_fields.h"

namespace qelo::skin {

const std::string& EntrySuffix() {
  static const std::string suffix = text::Utf8ToGbk("皮肤");
  return suffix;
}

std::vector<SkinRow> BuildSkinTable(std::string_view text) {
  const size_t n = static_cast<size_t>(text::CountOf(text, ",")) + 1;
  // Split once: picking each row from the whole reply again made a long list quadratic.
  std::vector<std::string> fields;
  if (!text.empty()) fields = text::SplitFields(',', text);
  // As PickField answers: an empty text names "", a text of fewer than two fields is one name.
  const bool whole = fields.size() < 2;
  std::vector<SkinRow> rows;
  rows.reserve(n);
  for (size_t i = 0; i < n; ++i) {
    if (!whole && i >= fields.size())
      throw text::EListError("List index out of bounds (" + std::to_string(i) + ")");
    std::string name = whole ? std::string(text) : std::move(fields[i]);
    std::string entry = name + EntrySuffix();
    rows.push_back({std::move(name), std::move(entry)});
  }
  return rows;
}

std::string ClickTableSource(std::string_view listText) {
  return text::PickField('|', listText, 5);
}

}  // namespace qelo::skin
