#include "text/ascii_text.h"

namespace qelo::text {

namespace {

bool IsBlank(char c, TBlanks blanks) {
  if (blanks == TBlanks::SpaceAndTab) return c == ' ' || c == '\t';
  return static_cast<unsigned char>(c) <= 32;
}

}  // namespace

std::string_view Trim(std::string_view text, TBlanks blanks) {
  while (!text.empty() && IsBlank(text.front(), blanks))
    text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back(), blanks))
    text.remove_suffix(1);
  return text;
}

int HexDigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

char AsciiLower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string AsciiLower(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    c = AsciiLower(c);
  return out;
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i)
    if (AsciiLower(text[i]) != AsciiLower(prefix[i])) return false;
  return true;
}

}  // namespace qelo::text
