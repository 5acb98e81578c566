// A byte-chained cipher that writes two hexadecimal digits per byte: each output value depends
// on the previous one, starting from a random value.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

namespace qelo::text {

// Raised when a text is not the cipher's (or the settings codec's) output.
class EConvertError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Used when the key passed in is empty.
inline constexpr std::string_view kChainDefaultKey = "QwTrenoPalvix";

// 2 + 2 * data.size() upper-case hexadecimal digits. The start value is drawn from a generator
// seeded afresh from a high-resolution clock, so two calls almost always differ.
std::string ChainEncode(std::string_view data, std::string_view key);

// ChainEncode with a given start value.
std::string ChainEncodeFrom(uint8_t start, std::string_view data, std::string_view key);

// The inverse with the same key. Bytes 1..255 come back exactly; a byte 0 comes back as 255.
// Throws EConvertError when a pair is not two hexadecimal digits (either case) or the text holds
// no pair after the start value (fewer than four characters, so ChainEncode's output for empty
// data does not decode); a single character left over at the end is ignored.
std::string ChainDecode(std::string_view text, std::string_view key);

}  // namespace qelo::text
