// Base64 with the standard alphabet (RFC 4648), no line breaks.
#pragma once

#include <string>
#include <string_view>

namespace qelo::text {

// 4 * ceil(size / 3) characters, padded with "=".
std::string Base64Encode(std::string_view bytes);

// Lenient decoder for the settings codec's own output: only whole groups of four characters are
// decoded (a final group of one to three is ignored); a padded group does not end the decoding.
// A group whose third character is "=" yields one byte, one whose fourth only is "=" two bytes.
// Characters outside the alphabet, and "=" in a group's first two positions, count as zero bits.
std::string Base64Decode(std::string_view text);

}  // namespace qelo::text
