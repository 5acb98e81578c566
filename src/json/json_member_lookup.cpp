#include "json/json_member_lookup.h"

#include "json/json_member_table.h"
#include "json/json_parser.h"
#include "json/json_text.h"

namespace qelo::json {

namespace {

bool IsNameUnit(char16_t u) {
  return (u >= u'0' && u <= u'9') || (u >= u'A' && u <= u'Z') || (u >= u'a' && u <= u'z') ||
         u == u'_';
}

// Keys of letters, digits and "_" that do not begin with a literal word. The reader takes such
// a key as one member name, so it can be looked up directly with the same result.
bool IsPlainName(std::u16string_view key) {
  if (key.empty()) return false;
  for (char16_t u : key) {
    if (!IsNameUnit(u)) return false;
  }
  return !key.starts_with(u"null") && !key.starts_with(u"true") && !key.starts_with(u"false");
}

}  // namespace

IJsonValue MemberValue(const IJsonValue& value, std::u16string_view key) {
  if (IsPlainName(key)) return FindMember(ObjectOf(value), key);
  TJsonTokenizer tokenizer;
  return tokenizer.Lookup(value, key);
}

std::u16string MemberText(const IJsonValue& value, std::u16string_view key) {
  return ValueText(MemberValue(value, key));
}

}  // namespace qelo::json
