// Whole-file reading and line splitting for the installation files the client shows.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace qelo::app {

// Reads a whole file into bytes; throws std::runtime_error naming the file when it cannot be
// opened or read.
std::string ReadWholeFile(const std::string& path);

// Splits text into lines ending at CR, at LF or at CR LF; a final line ending adds no empty
// line, and an empty text has no lines.
std::vector<std::string> SplitLines(std::string_view text);

}  // namespace qelo::app
