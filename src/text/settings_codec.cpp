#include "text/settings_codec.h"

#include "text/base64.h"
#include "text/chain_codec.h"
#include "text/md5.h"

namespace qelo::text {
namespace {

constexpr size_t kCheckLength = 28;
// Dropped from the end on decoding: CR LF, "Z" and 26 check digits; the 2 check digits left
// over form an incomplete Base64 group that decoding ignores.
constexpr size_t kTailDrop = 29;

std::string Layered(std::string_view text) {
  return Base64Encode(ChainEncode(Base64Encode(ChainEncode(text, kSettingsKey)), kSettingsKey));
}

std::string Encode(std::string_view text) {
  const std::string first = Layered(text);
  const std::string body = Layered(text);  // fresh start values: differs from first in general
  const std::string check = Md5Hex(std::string_view(first).substr(1, 10)).substr(0, kCheckLength);
  return "A" + body + check + "Z";
}

std::string Decode(std::string_view text) {
  const std::string_view s = text.size() > kTailDrop + 1
                                 ? text.substr(1, text.size() - kTailDrop - 1)
                                 : std::string_view();
  return ChainDecode(Base64Decode(ChainDecode(Base64Decode(s), kSettingsKey)), kSettingsKey);
}

}  // namespace

std::string SettingsCodec(std::string_view text, bool encode) {
  return encode ? Encode(text) : Decode(text);
}

std::string JoinLinesCrLf(std::string_view content) {
  std::string out;
  out.reserve(content.size() + 2);
  size_t i = 0;
  while (i < content.size()) {
    const size_t end = content.find_first_of("\r\n", i);
    if (end == std::string_view::npos) {
      out.append(content.substr(i)).append("\r\n");
      break;
    }
    out.append(content.substr(i, end - i)).append("\r\n");
    i = end +
        (content[end] == '\r' && end + 1 < content.size() && content[end + 1] == '\n' ? 2 : 1);
  }
  return out;
}

}  // namespace qelo::text
