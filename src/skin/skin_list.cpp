#include "skin/skin_list.h"

#include "text/gbk.h"
#include "text/text_fields.h"

namespace qelo::skin {

const std::string& EntrySuffix() {
  static const std::string suffix = text::Utf8ToGbk("皮肤");
  return suffix;
}

std::vector<SkinRow> BuildSkinTable(std::string_view text) {
  const int n = text::CountOf(text, ",") + 1;
  std::vector<SkinRow> rows;
  rows.reserve(static_cast<size_t>(n));
  for (int i = 0; i < n; ++i) {
    std::string name = text::PickField(',', text, i);
    std::string entry = name + EntrySuffix();
    rows.push_back({std::move(name), std::move(entry)});
  }
  return rows;
}

std::string ClickTableSource(std::string_view listText) {
  return text::PickField('|', listText, 5);
}

}  // namespace qelo::skin
