// Deterministic demo index: row i is always the same file, on every machine and every run, so a
// fresh database looks the same everywhere and tests can rely on it.
#pragma once

#include <cstdint>

#include "file_row.h"

namespace qelo::service {

// The first file id; row i gets kFirstDemoFileId + i.
inline constexpr int64_t kFirstDemoFileId = 10001;
// Largest size the generator produces: the client reads file_size as a signed 32-bit integer.
inline constexpr int64_t kMaxDemoFileSize = 2147483647;

// Row `index` (0-based) of the demo index: a mixed Chinese/ASCII name with its extension, a size
// from a few bytes up to just under 2 GiB, value, views, date and share link.
FileRow MakeDemoRow(uint64_t index);

}  // namespace qelo::service
