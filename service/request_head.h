// Looks at the bytes a connection has sent so far and decides, before any handler runs, whether
// they hold one whole request, need more bytes, or must be refused. The front end reads nothing
// past what this allows, so a body the service would refuse is never taken in.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace qelo::service {

struct RequestLimits {
  size_t max_head_bytes = 64 * 1024;  // request line and header lines, blank line included
  size_t max_body_bytes = 1 << 20;
};

struct RequestFraming {
  enum class Kind { kIncomplete, kComplete, kRefuse };
  Kind kind = Kind::kIncomplete;
  // kIncomplete with a complete head: the body is still arriving.
  bool head_complete = false;
  size_t head_bytes = 0;  // up to and including the blank line
  size_t body_bytes = 0;  // from Content-Length; 0 without one
  bool expects_continue = false;
  // The head as the request handlers get it: without Range and Expect lines (the front end
  // answers "100-continue" itself, and ranges are the service's to read).
  std::string head;
  std::string range;  // the value of the Range line, if there was one
  int status = 0;     // kRefuse: the reply status
  std::string reason;
};

// `buffered` starts at the first byte of a request. Empty lines before the request line are
// skipped (they count into head_bytes). Refusals: a head past the limit 431, a transfer coding
// 411 (the client never sends one, and its body could not be bounded before reading it), a
// Content-Length that is not a plain decimal or is given twice with different values 400, one
// past the body limit 413.
RequestFraming InspectRequest(std::string_view buffered, const RequestLimits& limits);

}  // namespace qelo::service
