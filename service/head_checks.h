// The refusals the service decides from a request head alone, before it reads any byte of the
// body: a body it could not bound before reading it, a length it cannot trust, a length past its
// limit. The HTTP library reads no body until these have passed.
#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string_view>

namespace qelo::service {

struct Refusal {
  int status;
  std::string_view reason;
  bool operator==(const Refusal&) const = default;
};

// `content_lengths` holds the value of every Content-Length line of the head, in order.
// Refusals: any transfer coding 411 (the client never sends one, and such a body cannot be
// bounded before it is read); a length that is not a plain decimal, or two that differ, 400; a
// length past `max_body_bytes` 413 (also one too long to be a number at all). Nothing when the
// body, if any, may be read.
std::optional<Refusal> RefuseBeforeBody(bool has_transfer_coding,
                                        std::span<const std::string_view> content_lengths,
                                        size_t max_body_bytes);

}  // namespace qelo::service
