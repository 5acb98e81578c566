// Value-for-value comparison of a document as our reader read it with the same document as
// RapidJSON (UTF-16 DOM) and simdjson (DOM) read it: the same kinds, members, elements, texts
// and integers, and doubles within one unit in the last place (RapidJSON's default parse is not
// always correctly rounded).
#pragma once

#include <rapidjson/document.h>
#include <simdjson.h>

#include <string>

#include "json/json.h"

namespace qelo::bench {

using RapidJsonUtf16Value = rapidjson::GenericValue<rapidjson::UTF16<char16_t>>;

// Empty when the values agree, otherwise where and how they first differ.
std::string DifferenceFromRapidJson(const json::IJsonValue& ours,
                                    const RapidJsonUtf16Value& theirs);
std::string DifferenceFromSimdjson(const json::IJsonValue& ours, simdjson::dom::element theirs);

}  // namespace qelo::bench
