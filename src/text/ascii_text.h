// ASCII-only text routines for protocol words, property values and keywords. They never touch a
// byte above 127, so GBK text passes through unchanged whatever the process locale is.
#pragma once

#include <string>
#include <string_view>

namespace qelo::text {

// Which bytes Trim takes off the ends: protocol fields trim only spaces and tabs, settings and
// skin texts every byte from 0 to 32 (blanks and control characters).
enum class TBlanks {
  Controls,     // bytes 0 to 32
  SpaceAndTab,  // ' ' and '\t' only
};

// The text without its leading and trailing blanks of the given kind.
std::string_view Trim(std::string_view text, TBlanks blanks = TBlanks::Controls);

// The value of a hexadecimal digit ('0'-'9', 'a'-'f', 'A'-'F'), or -1 for any other byte.
int HexDigitValue(char c);

// 'A'..'Z' become 'a'..'z'; every other byte stays as it is.
char AsciiLower(char c);
std::string AsciiLower(std::string_view text);

// Whether text begins with prefix, ASCII letters compared without case.
bool StartsWithNoCase(std::string_view text, std::string_view prefix);

}  // namespace qelo::text
