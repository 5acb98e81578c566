// ASCII-only text routines for protocol words, property values and keywords. They never touch a
// byte above 127, so GBK text passes through unchanged whatever the process locale is.
#pragma once

#include <string>
#include <string_view>

namespace qelo::text {

// The text without its leading and trailing bytes 0 to 32 (blanks and control characters).
std::string_view Trim(std::string_view text);

// 'A'..'Z' become 'a'..'z'; every other byte stays as it is.
char AsciiLower(char c);
std::string AsciiLower(std::string_view text);

// Whether text begins with prefix, ASCII letters compared without case.
bool StartsWithNoCase(std::string_view text, std::string_view prefix);

}  // namespace qelo::text
