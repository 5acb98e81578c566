// Inflating a skin body: one zlib stream, read until its end or until the input runs out.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace qelo::skin {

// Largest decompressed body a skin may have; the built-in body is a few MB.
inline constexpr size_t kMaxInflatedBody = size_t{64} << 20;

// Inflates `compressed` 4096 bytes at a time. Stops at the end of the zlib stream (bytes after
// it are ignored) or, without error, where the input ends. Raises ECompressionError with
// "compression error" for data inflate rejects, and with a message naming the cap when the
// output would grow past `cap`; the output never holds more than `cap` bytes.
std::string InflateBody(std::string_view compressed, size_t cap = kMaxInflatedBody);

}  // namespace qelo::skin
