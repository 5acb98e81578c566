#include "json/json_member_lookup.h"

#include <array>

#include "json/json_member_table.h"
#include "json/json_parser.h"
#include "json/json_text.h"

namespace qelo::json {

namespace {

// Letters, digits and "_".
constexpr auto kNameUnits = [] {
  std::array<bool, 128> table{};
  for (char16_t u = 0; u < 128; ++u)
    table[u] = (u >= u'0' && u <= u'9') || (u >= u'A' && u <= u'Z') || (u >= u'a' && u <= u'z') ||
               u == u'_';
  return table;
}();

bool BeginsWith(std::u16string_view key, std::u16string_view word) {
  if (key.size() < word.size()) return false;
  for (std::size_t i = 0; i < word.size(); ++i)
    if (key[i] != word[i]) return false;
  return true;
}

// Keys of letters, digits and "_" that do not begin with a literal word. The reader takes such
// a key as one member name, so it can be looked up directly with the same result. The name's
// hash is left in hash.
bool IsPlainName(std::u16string_view key, uint32_t& hash) {
  if (key.empty()) return false;
  for (char16_t u : key) {
    if (u >= 128 || !kNameUnits[u]) return false;
  }
  hash = JsonNameHash(key);
  static constexpr std::u16string_view kWords[] = {u"null", u"true", u"false"};
  for (std::u16string_view word : kWords)
    if (BeginsWith(key, word)) return false;
  return true;
}

}  // namespace

IJsonValue MemberValue(const IJsonValue& value, std::u16string_view key) {
  uint32_t hash;
  if (IsPlainName(key, hash)) {
    const TJsonMemberTable* table = ObjectOf(value);
    const TJsonAvlEntry* entry = table ? table->FindEntry(key, hash) : nullptr;
    return entry ? entry->value : IJsonValue{};
  }
  TJsonTokenizer tokenizer;
  return tokenizer.Lookup(value, key);
}

// A plain key is looked up without taking a reference: the object keeps its member alive
// while the caller's handle keeps the object.
std::u16string MemberText(const IJsonValue& value, std::u16string_view key) {
  uint32_t hash;
  if (IsPlainName(key, hash)) {
    const TJsonMemberTable* table = ObjectOf(value);
    const TJsonAvlEntry* entry = table ? table->FindEntry(key, hash) : nullptr;
    return entry && entry->value ? ValueText(*entry->value) : std::u16string();
  }
  return ValueText(MemberValue(value, key));
}

}  // namespace qelo::json
