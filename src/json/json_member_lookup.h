// Reading a member of a value by key.
#pragma once

#include <string>
#include <string_view>

#include "json/json_value.h"

namespace qelo::json {

// Reads key leniently with value as context: a plain name gives the member of exactly that
// name (absent when missing or when value is not an object); a key that reads as a literal
// (null, true, false, a quoted string, a number, an array, an object) gives that literal.
IJsonValue MemberValue(const IJsonValue& value, std::u16string_view key);

// ValueText of MemberValue, or empty text when it is absent.
std::u16string MemberText(const IJsonValue& value, std::u16string_view key);

}  // namespace qelo::json
