#include "text/gbk_tables.h"

#include <iconv.h>

#include <bit>
#include <cstring>
#include <optional>
#include <stdexcept>
#include <string>

namespace qelo::text {
namespace {

constexpr const char* kGbk = "CP936";
constexpr const char* kUtf8 = "UTF-8";
constexpr const char* kUtf16 = std::endian::native == std::endian::little ? "UTF-16LE" : "UTF-16BE";

}  // namespace

// Owns one iconv conversion descriptor.
class IconvHandle {
 public:
  IconvHandle(const char* to, const char* from) : cd_(iconv_open(to, from)) {
    if (cd_ == reinterpret_cast<iconv_t>(-1))
      throw std::runtime_error(std::string("iconv cannot convert ") + from + " to " + to);
  }
  ~IconvHandle() { iconv_close(cd_); }
  IconvHandle(const IconvHandle&) = delete;
  IconvHandle& operator=(const IconvHandle&) = delete;

  // Converts all of `in` in one call into `out`: the number of bytes written, none when iconv
  // takes only part of the input or none of it.
  std::optional<size_t> Convert(const void* in, size_t inBytes, void* out, size_t outCapacity) {
    char* inPtr = const_cast<char*>(static_cast<const char*>(in));
    char* outPtr = static_cast<char*>(out);
    size_t inLeft = inBytes;
    size_t outLeft = outCapacity;
    if (iconv(cd_, &inPtr, &inLeft, &outPtr, &outLeft) == static_cast<size_t>(-1) || inLeft) {
      iconv(cd_, nullptr, nullptr, nullptr, nullptr);
      return std::nullopt;
    }
    return outCapacity - outLeft;
  }

 private:
  iconv_t cd_;
};

GbkDecodeTable::GbkDecodeTable() {
  IconvHandle cd(kUtf16, kGbk);
  auto decode = [&cd](const unsigned char* bytes, size_t size) -> char16_t {
    char16_t units[2];
    return cd.Convert(bytes, size, units, sizeof units) == sizeof(char16_t) ? units[0] : 0;
  };
  for (unsigned c = 0x80; c <= 0xFF; ++c) {
    const unsigned char byte = static_cast<unsigned char>(c);
    if (!IsGbkLead(byte)) high_[c - 0x80] = decode(&byte, 1);
  }
  for (unsigned lead = 0x81; lead <= 0xFE; ++lead) {
    for (unsigned trail = 0x40; trail <= 0xFE; ++trail) {
      const unsigned char pair[2] = {static_cast<unsigned char>(lead),
                                     static_cast<unsigned char>(trail)};
      if (IsGbkTrail(pair[1])) pairs_[(lead - 0x81) * kTrails + (trail - 0x40)] = decode(pair, 2);
    }
  }
}

GbkEncodeTable::GbkEncodeTable() {
  IconvHandle cd(kGbk, kUtf16);
  for (unsigned u = 0x80; u <= 0xFFFF; ++u) {
    if (u >= 0xD800 && u <= 0xDFFF) continue;
    const char16_t unit = static_cast<char16_t>(u);
    unsigned char bytes[4];
    const std::optional<size_t> size = cd.Convert(&unit, sizeof unit, bytes, sizeof bytes);
    if (size == 1) codes_[u] = bytes[0];
    if (size == 2) codes_[u] = static_cast<uint16_t>(bytes[0] << 8 | bytes[1]);
  }
}

GbkOutsideBmp::GbkOutsideBmp(From from) : from_(from) {}
GbkOutsideBmp::~GbkOutsideBmp() = default;

char* GbkOutsideBmp::Encode(const void* character, size_t bytes, char* out) {
  if (!cd_) cd_ = std::make_unique<IconvHandle>(kGbk, from_ == From::kUtf8 ? kUtf8 : kUtf16);
  char gbk[2];
  const std::optional<size_t> size = cd_->Convert(character, bytes, gbk, sizeof gbk);
  if (!size) {
    *out++ = '?';
    return out;
  }
  std::memcpy(out, gbk, *size);
  return out + *size;
}

const GbkDecodeTable& GbkDecoding() {
  static const GbkDecodeTable table;
  return table;
}

const GbkEncodeTable& GbkEncoding() {
  static const GbkEncodeTable table;
  return table;
}

}  // namespace qelo::text
