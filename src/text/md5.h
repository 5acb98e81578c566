// MD5 message digest (RFC 1321).
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace qelo::text {

std::array<uint8_t, 16> Md5(std::string_view bytes);

// The digest as 32 upper-case hexadecimal digits, in digest order, high digit first.
std::string Md5Hex(std::string_view bytes);

}  // namespace qelo::text
