#include "search_reply.h"

#include <cstdio>

namespace qelo::service {

ValueStyle StyleFor(int64_t file_id) {
  switch (((file_id % 4) + 4) % 4) {
    case 0:
      return {false, false, false, false};
    case 1:
      return {true, true, true, true};
    case 2:
      return {false, true, true, false};
    default:
      return {true, false, false, true};
  }
}

std::string JsonString(std::string_view text) {
  std::string out = "\"";
  for (char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    if (c == '"' || c == '\\') {
      out.push_back('\\');
      out.push_back(ch);
    } else if (c < 0x20) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\u%04x", c);
      out.append(buf);
    } else {
      out.push_back(ch);
    }
  }
  out.push_back('"');
  return out;
}

namespace {

void AppendMember(std::string& out, std::string_view key, std::string_view json_value) {
  out.append(JsonString(key)).push_back(':');
  out.append(json_value);
}

void AppendNumber(std::string& out, std::string_view key, int64_t value, bool as_text) {
  const std::string digits = std::to_string(value);
  AppendMember(out, key, as_text ? JsonString(digits) : digits);
}

}  // namespace

std::string SearchReplyJson(const std::vector<FileRow>& rows) {
  std::string out = "[";
  for (size_t i = 0; i < rows.size(); ++i) {
    const FileRow& r = rows[i];
    const ValueStyle style = StyleFor(r.file_id);
    if (i > 0) out.push_back(',');
    out.push_back('{');
    AppendNumber(out, "file_id", r.file_id, style.id_as_text);
    out.push_back(',');
    AppendMember(out, "file_name", JsonString(r.file_name));
    out.push_back(',');
    AppendMember(out, "file_extension", JsonString(r.file_extension));
    out.push_back(',');
    AppendNumber(out, "file_size", r.file_size, style.size_as_text);
    out.push_back(',');
    AppendNumber(out, "file_value", r.file_value, style.value_as_text);
    out.push_back(',');
    AppendNumber(out, "file_views", r.file_views, style.views_as_text);
    out.push_back(',');
    AppendMember(out, "file_time", JsonString(r.file_time));
    out.push_back(',');
    AppendMember(out, "s_url", JsonString(r.s_url));
    out.push_back('}');
  }
  out.push_back(']');
  return out;
}

}  // namespace qelo::service
