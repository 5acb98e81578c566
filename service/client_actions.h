// The actions of the service script: search, review (rating) and report. Takes the raw GBK form
// body exactly as it arrived and gives the raw GBK reply body.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "index_db.h"

namespace qelo::service {

inline constexpr size_t kMaxSearchResults = 500;

// Points (10..1) of a score text given as GBK bytes, or nothing when it is not one of the ten.
std::optional<int> ScorePoints(std::string_view gbk_score);
// A file id written as decimal digits only (no sign, no blanks), or nothing.
std::optional<int64_t> ParseFileId(std::string_view text);

// "action=search&word=K" -> JSON array; "action=review&file_id=I&score=S" and
// "action=report&content=C&file_id=I" -> "true" or "false"; anything else -> "false".
std::string HandleClientForm(IndexDb& db, std::string_view gbk_body);

}  // namespace qelo::service
