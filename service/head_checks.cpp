#include "head_checks.h"

namespace qelo::service {
namespace {

constexpr size_t kMaxDigits = 18;  // fits in size_t; more is past every limit

std::string_view TrimBlanks(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
    s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
    s.remove_suffix(1);
  return s;
}

bool AllDigits(std::string_view s) {
  if (s.empty()) return false;
  for (char c : s) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

// The value of a plain decimal, its leading zeros stripped, as text: lengths are compared and
// bounded without converting anything that might overflow.
std::string_view Significant(std::string_view digits) {
  while (digits.size() > 1 && digits.front() == '0')
    digits.remove_prefix(1);
  return digits;
}

size_t ToSize(std::string_view digits) {
  size_t n = 0;
  for (char c : digits)
    n = n * 10 + static_cast<size_t>(c - '0');
  return n;
}

}  // namespace

std::optional<Refusal> RefuseBeforeBody(bool has_transfer_coding,
                                        std::span<const std::string_view> content_lengths,
                                        size_t max_body_bytes) {
  if (has_transfer_coding) return Refusal{411, "a request body needs a Content-Length"};
  std::optional<std::string_view> length;
  for (std::string_view raw : content_lengths) {
    const std::string_view value = TrimBlanks(raw);
    if (!AllDigits(value)) return Refusal{400, "bad Content-Length"};
    const std::string_view digits = Significant(value);
    if (length && *length != digits) return Refusal{400, "bad Content-Length"};
    length = digits;
  }
  if (!length) return std::nullopt;
  if (length->size() > kMaxDigits || ToSize(*length) > max_body_bytes)
    return Refusal{413, "request body too large"};
  return std::nullopt;
}

}  // namespace qelo::service
