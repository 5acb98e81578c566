// The skin list reply taken apart: the names separated by commas, each listed as name + "皮肤".
// Qt-free; the window keeps no table between operations and builds one from the reply each time.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace qelo::skin {

// A list reply longer than this is taken as a failed request: no real list comes near it.
inline constexpr size_t kMaxSkinListBytes = size_t{1} << 20;

struct SkinRow {
  std::string name;   // GBK, as the reply carries it
  std::string entry;  // name + "皮肤", the list entry's text (GBK)
};

// The suffix of every list entry, GBK.
const std::string& EntrySuffix();

// One row per comma-separated field: the row count is the number of commas plus one, and row i
// is PickField(",", text, i), the reply being split only once. Because PickField also splits at
// blanks and honours quotes, a reply with fewer fields than that throws the list error for the
// first missing index, and a reply that yields fewer than two fields gives the whole text as its
// one name.
std::vector<SkinRow> BuildSkinTable(std::string_view text);

// The text a click compares against: the sixth "|"-separated field of the list reply (the whole
// reply when it does not split). Throws the list error for index 5 when the reply splits into two
// to five fields.
std::string ClickTableSource(std::string_view listText);

}  // namespace qelo::skin
