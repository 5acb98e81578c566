#include "text/gbk.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

#if defined(__linux__)
#include <sys/mman.h>
#endif

#include "text/gbk_tables.h"

// Every conversion walks its input through the lookup tables of gbk_tables.h, copying runs of
// ASCII eight bytes at a time. Output goes to a stack buffer one block of input at a time and is
// appended from there, so the result string is never filled twice.
namespace qelo::text {
namespace {

constexpr size_t kBlock = 1024;  // input units per block
constexpr uint64_t kHighBits8 = 0x8080808080808080;
constexpr uint64_t kHighBits16 = 0xFF80FF80FF80FF80;

uint64_t Load8(const void* p) {
  uint64_t word;
  std::memcpy(&word, p, sizeof word);
  return word;
}

// A result of many megabytes lands in memory freshly mapped for it, where faulting in every 4 KiB
// page costs more than the conversion itself; asking for 2 MiB pages where the kernel offers them
// on request cuts that several times over. Only advice: without it nothing changes but the speed.
void AdviseHugePages([[maybe_unused]] void* data, [[maybe_unused]] size_t bytes) {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
  constexpr uintptr_t kHuge = uintptr_t{2} << 20;
  if (bytes < 4 * kHuge) return;
  const uintptr_t begin = (reinterpret_cast<uintptr_t>(data) + kHuge - 1) & ~(kHuge - 1);
  const uintptr_t end = (reinterpret_cast<uintptr_t>(data) + bytes) & ~(kHuge - 1);
  if (begin < end) madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
#endif
}

// Runs `convert(in, pos, stop, buffer)` over the input one block at a time: it converts every
// character that starts before `stop` (reading on past it when a character needs), advances
// `pos` and returns the end of what it wrote, at most kOutPerIn units per input unit.
template <typename Out, size_t kOutPerIn, typename In, typename Fn>
Out Blockwise(const In* in, size_t size, size_t reserve, Fn convert) {
  using Unit = typename Out::value_type;
  Out out;
  out.reserve(reserve);
  AdviseHugePages(out.data(), out.capacity() * sizeof(Unit));
  Unit buffer[kBlock * kOutPerIn];
  size_t pos = 0;
  while (pos < size) {
    const Unit* end = convert(in, pos, std::min(size, pos + kBlock), buffer);
    out.append(buffer, static_cast<size_t>(end - buffer));
  }
  return out;
}

// Copies the ASCII bytes at in[pos..stop) to `out` (each widened to Unit) up to the first byte
// that is not ASCII.
template <typename Unit>
Unit* CopyAscii(const unsigned char* in, size_t& pos, size_t stop, Unit* out) {
  size_t i = pos;
  for (; i + 8 <= stop && !(Load8(in + i) & kHighBits8); i += 8, out += 8) {
    for (size_t k = 0; k < 8; ++k)
      out[k] = in[i + k];
  }
  for (; i < stop && in[i] < 0x80; ++i)
    *out++ = in[i];
  pos = i;
  return out;
}

// The same for UTF-16 units below 0x80, narrowed to bytes.
char* CopyAscii16(const char16_t* in, size_t& pos, size_t stop, char* out) {
  size_t i = pos;
  for (; i + 8 <= stop && !((Load8(in + i) | Load8(in + i + 4)) & kHighBits16); i += 8, out += 8) {
    for (size_t k = 0; k < 8; ++k)
      out[k] = static_cast<char>(in[i + k]);
  }
  for (; i < stop && in[i] < 0x80; ++i)
    *out++ = static_cast<char>(in[i]);
  pos = i;
  return out;
}

// The character of the GBK sequence at in[pos] (not ASCII), "?" when there is none; advances
// pos past the pair or the single byte the rules in gbk.h replace.
char16_t DecodeGbk(const GbkDecodeTable& table, const unsigned char* in, size_t& pos, size_t size) {
  const unsigned char c = in[pos];
  char16_t unit;
  if (IsGbkLead(c) && pos + 1 < size && IsGbkTrail(in[pos + 1])) {
    unit = table.Pair(c, in[pos + 1]);
    pos += 2;
  } else {
    unit = IsGbkLead(c) ? 0 : table.Single(c);
    pos += 1;
  }
  return unit ? unit : u'?';
}

// Writes the GBK bytes of a BMP character that is not ASCII ("?" when the code page lacks it).
char* EncodeGbk(const GbkEncodeTable& table, char16_t unit, char* out) {
  const uint16_t code = table.Of(unit);
  if (code == 0) {
    *out++ = '?';
  } else if (code < 0x100) {
    *out++ = static_cast<char>(code);
  } else {
    *out++ = static_cast<char>(code >> 8);
    *out++ = static_cast<char>(code & 0xFF);
  }
  return out;
}

bool IsHighSurrogate(uint32_t u) {
  return u >= 0xD800 && u <= 0xDBFF;
}
bool IsLowSurrogate(uint32_t u) {
  return u >= 0xDC00 && u <= 0xDFFF;
}

// Length of the well-formed UTF-8 sequence at p (left bytes available) with its code point in
// `cp`, or 0 when it is not well formed: overlong forms, surrogates, values past U+10FFFF and
// sequences cut short are not.
size_t DecodeUtf8(const unsigned char* p, size_t left, uint32_t& cp) {
  const unsigned char c = p[0];
  size_t len;
  uint32_t min;
  if (c >= 0xC2 && c <= 0xDF) {
    len = 2, min = 0x80;
  } else if (c >= 0xE0 && c <= 0xEF) {
    len = 3, min = 0x800;
  } else if (c >= 0xF0 && c <= 0xF4) {
    len = 4, min = 0x10000;
  } else {
    return 0;
  }
  if (left < len) return 0;
  cp = c & (0x3F >> (len - 1));
  for (size_t i = 1; i < len; ++i) {
    if ((p[i] & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (p[i] & 0x3F);
  }
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
  return len;
}

// Writes the UTF-8 form of a BMP character.
char* EncodeUtf8(char16_t unit, char* out) {
  if (unit < 0x80) {
    *out++ = static_cast<char>(unit);
  } else if (unit < 0x800) {
    *out++ = static_cast<char>(0xC0 | unit >> 6);
    *out++ = static_cast<char>(0x80 | (unit & 0x3F));
  } else {
    *out++ = static_cast<char>(0xE0 | unit >> 12);
    *out++ = static_cast<char>(0x80 | (unit >> 6 & 0x3F));
    *out++ = static_cast<char>(0x80 | (unit & 0x3F));
  }
  return out;
}

const unsigned char* Bytes(std::string_view s) {
  return reinterpret_cast<const unsigned char*>(s.data());
}

}  // namespace

std::u16string GbkToUtf16(std::string_view gbk) {
  const GbkDecodeTable& table = GbkDecoding();
  const size_t size = gbk.size();
  return Blockwise<std::u16string, 1>(
      Bytes(gbk), size, size,
      [&](const unsigned char* in, size_t& pos, size_t stop, char16_t* out) {
        while (pos < stop) {
          out = CopyAscii(in, pos, stop, out);
          if (pos < stop) *out++ = DecodeGbk(table, in, pos, size);
        }
        return out;
      });
}

std::string GbkToUtf8(std::string_view gbk) {
  const GbkDecodeTable& table = GbkDecoding();
  const size_t size = gbk.size();
  // A pair takes at most three bytes in UTF-8; only the single byte 0x80 grows further.
  return Blockwise<std::string, 3>(
      Bytes(gbk), size, size + size / 2,
      [&](const unsigned char* in, size_t& pos, size_t stop, char* out) {
        while (pos < stop) {
          out = CopyAscii(in, pos, stop, out);
          if (pos < stop) out = EncodeUtf8(DecodeGbk(table, in, pos, size), out);
        }
        return out;
      });
}

std::string Utf16ToGbk(std::u16string_view text) {
  const GbkEncodeTable& table = GbkEncoding();
  GbkOutsideBmp outsideBmp(GbkOutsideBmp::From::kUtf16);
  const size_t size = text.size();
  return Blockwise<std::string, 2>(
      text.data(), size, size * 2, [&](const char16_t* in, size_t& pos, size_t stop, char* out) {
        while (pos < stop) {
          out = CopyAscii16(in, pos, stop, out);
          if (pos >= stop) break;
          const char16_t unit = in[pos++];
          if (IsHighSurrogate(unit) && pos < size && IsLowSurrogate(in[pos])) {
            out = outsideBmp.Encode(in + pos - 1, 2 * sizeof(char16_t), out);
            ++pos;
          } else if (IsHighSurrogate(unit) || IsLowSurrogate(unit)) {
            *out++ = '?';
          } else {
            out = EncodeGbk(table, unit, out);
          }
        }
        return out;
      });
}

std::string Utf8ToGbk(std::string_view utf8) {
  const GbkEncodeTable& table = GbkEncoding();
  GbkOutsideBmp outsideBmp(GbkOutsideBmp::From::kUtf8);
  const size_t size = utf8.size();
  // No character takes more bytes in GBK than in UTF-8.
  return Blockwise<std::string, 2>(
      Bytes(utf8), size, size, [&](const unsigned char* in, size_t& pos, size_t stop, char* out) {
        while (pos < stop) {
          out = CopyAscii(in, pos, stop, out);
          if (pos >= stop) break;
          uint32_t cp = 0;
          const size_t len = DecodeUtf8(in + pos, size - pos, cp);
          if (len == 0) {
            ++pos;
            *out++ = '?';
          } else if (cp > 0xFFFF) {
            out = outsideBmp.Encode(in + pos, len, out);
            pos += len;
          } else {
            pos += len;
            out = EncodeGbk(table, static_cast<char16_t>(cp), out);
          }
        }
        return out;
      });
}

}  // namespace qelo::text
