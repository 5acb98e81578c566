// The search reply the JSON and GBK benchmarks read: an array of results with Chinese names.
#pragma once

#include <cstddef>
#include <string>

namespace qelo::bench {

// A reply of at least `bytes` bytes, in UTF-8; the same bytes for the same size on every run.
std::string MakeReplyUtf8(std::size_t bytes);

}  // namespace qelo::bench
