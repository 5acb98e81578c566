// Conversion between GBK (code page 936) byte strings and UTF-16 / UTF-8.
//
// Never throws on bad input. The replacement rules, shared by all four functions:
//  - a character the target cannot hold becomes one "?" (U+003F);
//  - an invalid GBK sequence becomes one "?": a lead byte (0x81..0xFE) followed by a byte in the
//    trail range (0x40..0x7E, 0x80..0xFE) that names no character is replaced as one pair; a lead
//    byte followed by anything else (or by nothing, at the end) is replaced alone and the byte
//    after it is decoded afresh, so an ASCII byte after a broken lead byte survives; any other byte
//    that is not GBK (0xFF) becomes "?";
//  - invalid UTF-8 becomes one "?" per byte; a lone UTF-16 surrogate becomes "?".
// The code page is the system iconv's "CP936", read into lookup tables once, at first use. It
// holds nothing outside the BMP: such a character is handed to iconv itself, which mostly rejects
// it ("?") but may drop it instead, as glibc's does with the tag characters U+E0000..U+E007F.
// Throws std::runtime_error only when iconv has no CP936.
#pragma once

#include <string>
#include <string_view>

namespace qelo::text {

std::u16string GbkToUtf16(std::string_view gbk);
std::string Utf16ToGbk(std::u16string_view text);
std::string Utf8ToGbk(std::string_view utf8);
std::string GbkToUtf8(std::string_view gbk);

}  // namespace qelo::text
