// The text routines that read disk and network bytes: field picking and counting on GBK text,
// the byte-chained cipher, the settings codec, Base64 and the GBK conversions.
//
// Invariants: a picked field is never longer than its text and an index outside the fields
// raises EListError only; decoding then encoding with the cipher gives the text back (upper-case)
// wherever no pair stands for the byte value both 0 and 255 share; the settings codec reads back
// its own output for a non-empty line (empty data encodes to the start value alone, which
// decoding refuses) and Base64 reads back its own output; the GBK conversions to UTF-16 and to
// UTF-8 agree with each other, and valid GBK comes back unchanged from UTF-16 and from UTF-8.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "text/base64.h"
#include "text/chain_codec.h"
#include "text/gbk.h"
#include "text/settings_codec.h"
#include "text/text_fields.h"

namespace {

using namespace qelo::text;

[[noreturn]] void Violation(const char* what) {
  std::fprintf(stderr, "invariant violated: %s\n", what);
  std::abort();
}

// UTF-16 (well formed, as the GBK conversion makes it) to UTF-8.
std::string Utf16ToUtf8(std::u16string_view s) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    uint32_t cp = s[i];
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 &&
        s[i + 1] <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (s[++i] - 0xDC00);
    }
    if (cp < 0x80) {
      out += static_cast<char>(cp);
    } else if (cp < 0x800) {
      out += static_cast<char>(0xC0 | cp >> 6);
      out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
      out += static_cast<char>(0xE0 | cp >> 12);
      out += static_cast<char>(0x80 | (cp >> 6 & 0x3F));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | cp >> 18);
      out += static_cast<char>(0x80 | (cp >> 12 & 0x3F));
      out += static_cast<char>(0x80 | (cp >> 6 & 0x3F));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    }
  }
  return out;
}

size_t Count(std::string_view s, char c) {
  size_t n = 0;
  for (char x : s)
    n += x == c;
  return n;
}

void CheckFields(char delimiter, std::string_view text, int index, std::string_view sub) {
  try {
    const std::string field = PickField(delimiter, text, index);
    if (field.size() > text.size()) Violation("a picked field is longer than its text");
  } catch (const EListError&) {
  }
  const int removed = CountOf(text, sub);
  if (removed < 0 || static_cast<size_t>(removed) > text.size() ||
      (!sub.empty() && removed % static_cast<int>(sub.size()) != 0))
    Violation("CountOf gave an impossible count");
}

std::string Upper(std::string_view s) {
  std::string out(s);
  for (char& c : out)
    if (c >= 'a' && c <= 'f') c = static_cast<char>(c - 'a' + 'A');
  return out;
}

void CheckChain(std::string_view text, std::string_view key) {
  std::string plain;
  try {
    plain = ChainDecode(text, key);
  } catch (const EConvertError&) {
    return;
  }
  if (plain.size() != (text.size() - 2) / 2) Violation("ChainDecode gave a wrong length");
  const std::string_view used = key.empty() ? kChainDefaultKey : key;
  // A pair whose value, unkeyed, is 255 stands for a byte both 0 and 255 encode to.
  for (size_t k = 0, pos = 2; pos + 1 < text.size(); ++k, pos += 2) {
    const unsigned v =
        static_cast<unsigned>(std::stoul(std::string(text.substr(pos, 2)), nullptr, 16));
    if ((v ^ static_cast<unsigned char>(used[k % used.size()])) == 255) return;
  }
  const unsigned start =
      static_cast<unsigned>(std::stoul(std::string(text.substr(0, 2)), nullptr, 16));
  const std::string again = ChainEncodeFrom(static_cast<uint8_t>(start), plain, key);
  if (again != Upper(text.substr(0, 2 + 2 * plain.size())))
    Violation("ChainDecode then ChainEncodeFrom does not give the text back");
}

void CheckSettings(std::string_view text) {
  try {
    (void)SettingsCodec(text, false);
  } catch (const EConvertError&) {
  }
  const std::string joined = JoinLinesCrLf(text);
  for (size_t i = 0; i < joined.size(); ++i) {
    const bool cr = joined[i] == '\r';
    const bool lf = joined[i] == '\n';
    if ((cr && (i + 1 >= joined.size() || joined[i + 1] != '\n')) ||
        (lf && (i == 0 || joined[i - 1] != '\r')))
      Violation("JoinLinesCrLf left a line end other than CR LF");
  }
  // A settings line holds no byte 0 (it would come back as 255) and no line end, and is not
  // empty: its encoding would be the start value alone, which decoding refuses.
  if (text.empty() || text.size() > 200 ||
      text.find_first_of(std::string_view("\0\r\n", 3)) != text.npos)
    return;
  const std::string line = SettingsCodec(text, true);
  if (SettingsCodec(line + "\r\n", false) != text) Violation("settings line does not read back");
}

void CheckBase64(std::string_view bytes) {
  (void)Base64Decode(bytes);
  if (Base64Decode(Base64Encode(bytes)) != bytes) Violation("Base64 does not read back");
}

void CheckGbk(std::string_view gbk) {
  const std::u16string wide = GbkToUtf16(gbk);
  const std::string utf8 = GbkToUtf8(gbk);
  if (Utf16ToUtf8(wide) != utf8) Violation("GBK to UTF-16 and GBK to UTF-8 disagree");
  const std::string back16 = Utf16ToGbk(wide);
  const std::string back8 = Utf8ToGbk(utf8);
  if (back16 != back8) Violation("UTF-16 to GBK and UTF-8 to GBK disagree");
  // Valid input: no replacement "?" was needed on the way in.
  if (Count(utf8, '?') == Count(gbk, '?') && back16 != gbk)
    Violation("valid GBK does not come back unchanged");
}

void CheckToGbk(std::string_view bytes) {
  const std::string fromUtf8 = Utf8ToGbk(bytes);
  if (fromUtf8.size() > 2 * bytes.size()) Violation("UTF-8 to GBK grew beyond two bytes a byte");
  std::u16string units(bytes.size() / 2, u'\0');
  for (size_t i = 0; i < units.size(); ++i)
    units[i] = static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                     static_cast<unsigned char>(bytes[2 * i + 1]) << 8);
  const std::string fromUtf16 = Utf16ToGbk(units);
  if (fromUtf16.size() > 2 * units.size()) Violation("UTF-16 to GBK grew beyond two bytes a unit");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  const char delimiter = in.ConsumeIntegral<char>();
  const int index = in.ConsumeIntegralInRange<int>(-2, 40);
  const std::string sub = in.ConsumeRandomLengthString(4);
  const std::string key = in.ConsumeRandomLengthString(16);
  const std::string text = in.ConsumeRemainingBytesAsString();
  CheckFields(delimiter, text, index, sub);
  CheckChain(text, key);
  CheckSettings(text);
  CheckBase64(text);
  CheckGbk(text);
  CheckToGbk(text);
  return 0;
}
