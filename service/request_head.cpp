#include "request_head.h"

#include <optional>

namespace qelo::service {
namespace {

using Kind = RequestFraming::Kind;

RequestFraming Refuse(int status, std::string reason) {
  RequestFraming f;
  f.kind = Kind::kRefuse;
  f.status = status;
  f.reason = std::move(reason);
  return f;
}

bool NameIs(std::string_view name, std::string_view lower) {
  if (name.size() != lower.size()) return false;
  for (size_t i = 0; i < name.size(); ++i) {
    char c = name[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    if (c != lower[i]) return false;
  }
  return true;
}

std::string_view TrimBlanks(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
    s.remove_prefix(1);
  while (!s.empty() &&
         (s.back() == ' ' || s.back() == '\t' || s.back() == '\r' || s.back() == '\n'))
    s.remove_suffix(1);
  return s;
}

// A plain decimal of at most 18 digits (anything longer is past every limit anyway, and is
// reported as such by the caller through `too_long`).
std::optional<size_t> ParseLength(std::string_view v, bool& too_long) {
  too_long = false;
  if (v.empty()) return std::nullopt;
  size_t n = 0;
  for (char c : v) {
    if (c < '0' || c > '9') return std::nullopt;
  }
  if (v.size() > 18) {
    too_long = true;
    return std::nullopt;
  }
  for (char c : v)
    n = n * 10 + static_cast<size_t>(c - '0');
  return n;
}

// Where the head ends (just past the blank line), or npos. Lines may end in LF or CRLF.
size_t HeadEnd(std::string_view s, size_t from) {
  for (size_t lf = s.find('\n', from); lf != std::string_view::npos; lf = s.find('\n', lf + 1)) {
    const size_t next = lf + 1;
    if (next < s.size() && s[next] == '\n') return next + 1;
    if (next + 1 < s.size() && s[next] == '\r' && s[next + 1] == '\n') return next + 2;
  }
  return std::string_view::npos;
}

}  // namespace

RequestFraming InspectRequest(std::string_view buffered, const RequestLimits& limits) {
  size_t start = 0;
  while (start < buffered.size() && (buffered[start] == '\r' || buffered[start] == '\n'))
    ++start;
  const size_t end = HeadEnd(buffered, start);
  if (end == std::string_view::npos) {
    if (buffered.size() > limits.max_head_bytes) return Refuse(431, "request header too large");
    return {};
  }
  if (end > limits.max_head_bytes) return Refuse(431, "request header too large");

  RequestFraming f;
  f.head_complete = true;
  f.head_bytes = end;
  std::optional<size_t> length;
  const std::string_view head = buffered.substr(start, end - start);
  size_t pos = 0;
  bool first = true;
  while (pos < head.size()) {
    size_t lf = head.find('\n', pos);
    if (lf == std::string_view::npos) lf = head.size() - 1;
    const std::string_view raw = head.substr(pos, lf + 1 - pos);
    pos = lf + 1;
    const size_t colon = raw.find(':');
    if (first || colon == std::string_view::npos) {
      first = false;
      f.head.append(raw);
      continue;
    }
    const std::string_view name = TrimBlanks(raw.substr(0, colon));
    const std::string_view value = TrimBlanks(raw.substr(colon + 1, raw.size() - colon - 1));
    if (NameIs(name, "transfer-encoding")) {
      return Refuse(411, "a request body needs a Content-Length");
    }
    if (NameIs(name, "content-length")) {
      bool too_long = false;
      const auto n = ParseLength(value, too_long);
      if (too_long) return Refuse(413, "request body too large");
      if (!n || (length && *length != *n)) return Refuse(400, "bad Content-Length");
      length = n;
    } else if (NameIs(name, "range")) {
      f.range = std::string(value);
      continue;
    } else if (NameIs(name, "expect")) {
      f.expects_continue = NameIs(value, "100-continue");
      continue;
    }
    f.head.append(raw);
  }
  if (length && *length > limits.max_body_bytes) return Refuse(413, "request body too large");
  f.body_bytes = length.value_or(0);
  if (buffered.size() - end >= f.body_bytes) f.kind = Kind::kComplete;
  return f;
}

}  // namespace qelo::service
