// The search reply: a JSON array of objects with the eight keys the client reads. To exercise the
// client's lenient reading, file_id, file_size, file_value and file_views go out as numbers or as
// strings depending on the file id (file_size is then a string of decimal digits); file_name,
// file_extension, file_time and s_url are always strings. Text is UTF-8 here; the server converts
// the finished reply to GBK.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "file_row.h"

namespace qelo::service {

// Which of the four numeric keys go out as strings for a given file id.
struct ValueStyle {
  bool id_as_text = false;
  bool size_as_text = false;
  bool value_as_text = false;
  bool views_as_text = false;
};
ValueStyle StyleFor(int64_t file_id);

// `text` as a JSON string, quotes included; control characters, '"' and '\' are escaped.
std::string JsonString(std::string_view text);
std::string SearchReplyJson(const std::vector<FileRow>& rows);

}  // namespace qelo::service
