#include "json/json_member_lookup.h"

#include "json/json_parser.h"
#include "json/json_text.h"

namespace qelo::json {

IJsonValue MemberValue(const IJsonValue& value, std::u16string_view key) {
  TJsonTokenizer tokenizer;
  return tokenizer.Lookup(value, key);
}

std::u16string MemberText(const IJsonValue& value, std::u16string_view key) {
  return ValueText(MemberValue(value, key));
}

}  // namespace qelo::json
