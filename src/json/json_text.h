// The text form of values: compact JSON text, and the display text of a value.
#pragma once

#include <string>

#include "json/json_text_buffer.h"
#include "json/json_value.h"

namespace qelo::json {

// Compact JSON of the value, members in tree order, minimal escapes, no blanks; empty text for
// an absent handle or a method value.
std::u16string JsonText(const IJsonValue& value);

// A string value's own text unchanged; any other value's JsonText; empty for an absent handle.
std::u16string ValueText(const IJsonValue& value);
std::u16string ValueText(TJsonValue& value);

// Appends the JsonText of value to out.
void WriteJsonText(TJsonTextBuffer& out, const IJsonValue& value);

// Appends text with the minimal escapes: unit 0, '"', '/' and '\'.
void WriteEscaped(TJsonTextBuffer& out, std::u16string_view text);

}  // namespace qelo::json
