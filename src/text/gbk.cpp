#include "text/gbk.h"

#include <iconv.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <stdexcept>

namespace qelo::text {
namespace {

constexpr const char* kGbk = "CP936";
constexpr const char* kUtf8 = "UTF-8";
constexpr const char* kUtf16 = std::endian::native == std::endian::little ? "UTF-16LE" : "UTF-16BE";

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

  iconv_t get() const { return cd_; }
  void Reset() { iconv(cd_, nullptr, nullptr, nullptr, nullptr); }

 private:
  iconv_t cd_;
};

bool IsGbkLead(unsigned char c) {
  return c >= 0x81 && c <= 0xFE;
}
bool IsGbkTrail(unsigned char c) {
  return c >= 0x40 && c <= 0xFE && c != 0x7F;
}

// Bytes of input to drop, replaced by one "?", when iconv stops at a sequence it cannot take.
size_t SkipGbk(const unsigned char* p, size_t left) {
  if (left >= 2 && IsGbkLead(p[0]) && IsGbkTrail(p[1])) return 2;
  return 1;
}

size_t SkipUtf16(const unsigned char* p, size_t left) {
  char16_t first;
  std::memcpy(&first, p, sizeof first);
  if (first >= 0xD800 && first <= 0xDBFF && left >= 4) {
    char16_t second;
    std::memcpy(&second, p + 2, sizeof second);
    if (second >= 0xDC00 && second <= 0xDFFF) return 4;
  }
  return left >= 2 ? 2 : left;
}

// Length of the well-formed UTF-8 sequence at p, or 1 when it is not well formed.
size_t SkipUtf8(const unsigned char* p, size_t left) {
  const unsigned char c = p[0];
  size_t len = 1;
  uint32_t min = 0;
  if (c >= 0xC2 && c <= 0xDF) {
    len = 2, min = 0x80;
  } else if (c >= 0xE0 && c <= 0xEF) {
    len = 3, min = 0x800;
  } else if (c >= 0xF0 && c <= 0xF4) {
    len = 4, min = 0x10000;
  } else {
    return 1;
  }
  if (left < len) return 1;
  uint32_t cp = c & (0x3F >> (len - 1));
  for (size_t i = 1; i < len; ++i) {
    if ((p[i] & 0xC0) != 0x80) return 1;
    cp = (cp << 6) | (p[i] & 0x3F);
  }
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 1;
  return len;
}

using SkipFn = size_t (*)(const unsigned char*, size_t);

// Converts the whole input with one iconv call per clean stretch; around a sequence iconv
// rejects, drops `skip` bytes of input and writes `replacement` (already in the target encoding).
template <typename Out>
Out Convert(const char* to, const char* from, std::string_view in, SkipFn skip,
            std::string_view replacement, size_t outPerInByte) {
  IconvHandle cd(to, from);
  using Unit = typename Out::value_type;
  Out out;
  out.resize(in.size() * outPerInByte / sizeof(Unit) + 16);
  char* inPtr = const_cast<char*>(in.data());
  size_t inLeft = in.size();
  size_t used = 0;  // bytes of `out` filled
  auto outBytes = [&] { return out.size() * sizeof(Unit); };
  auto grow = [&](size_t atLeast) {
    out.resize(out.size() + std::max(out.size() / 2, atLeast / sizeof(Unit) + 16));
  };
  while (inLeft > 0) {
    char* outPtr = reinterpret_cast<char*>(out.data()) + used;
    size_t outLeft = outBytes() - used;
    const size_t rc = iconv(cd.get(), &inPtr, &inLeft, &outPtr, &outLeft);
    used = outBytes() - outLeft;
    if (rc != static_cast<size_t>(-1)) break;
    if (errno == E2BIG) {
      grow(16);
      continue;
    }
    // EILSEQ (invalid or unmappable) or EINVAL (incomplete at the end): replace and go on.
    const size_t drop = std::min(inLeft, skip(reinterpret_cast<unsigned char*>(inPtr), inLeft));
    inPtr += drop;
    inLeft -= drop;
    if (outBytes() - used < replacement.size()) grow(replacement.size());
    std::memcpy(reinterpret_cast<char*>(out.data()) + used, replacement.data(), replacement.size());
    used += replacement.size();
    cd.Reset();
  }
  out.resize(used / sizeof(Unit));
  return out;
}

std::string_view AsBytes(std::u16string_view s) {
  return {reinterpret_cast<const char*>(s.data()), s.size() * sizeof(char16_t)};
}

const char16_t kQuestion16[] = u"?";

}  // namespace

std::u16string GbkToUtf16(std::string_view gbk) {
  return Convert<std::u16string>(kUtf16, kGbk, gbk, SkipGbk,
                                 AsBytes(std::u16string_view(kQuestion16, 1)), 2);
}

std::string Utf16ToGbk(std::u16string_view text) {
  return Convert<std::string>(kGbk, kUtf16, AsBytes(text), SkipUtf16, "?", 1);
}

std::string Utf8ToGbk(std::string_view utf8) {
  return Convert<std::string>(kGbk, kUtf8, utf8, SkipUtf8, "?", 1);
}

std::string GbkToUtf8(std::string_view gbk) {
  return Convert<std::string>(kUtf8, kGbk, gbk, SkipGbk, "?", 2);
}

}  // namespace qelo::text
