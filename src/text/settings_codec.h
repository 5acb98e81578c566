// The scrambled form of the settings file's one line: "A" + body + 28 check digits + "Z", the
// body being the plain text through cipher, Base64, cipher, Base64 with the key below.
#pragma once

#include <string>
#include <string_view>

namespace qelo::text {

inline constexpr std::string_view kSettingsKey = "RunoTesph";

// encode: the line without its CR LF. decode: the text as read back from the file (normally the
// line followed by CR LF); throws EConvertError when it is not the codec's output.
std::string SettingsCodec(std::string_view text, bool encode);

// A file's content as the settings reader sees it: lines ending at CR, LF or CR LF, joined again
// with CR LF after every line, the last included.
std::string JoinLinesCrLf(std::string_view content);

}  // namespace qelo::text
