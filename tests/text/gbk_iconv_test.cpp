// The table-driven GBK conversions against iconv itself, driven the way the client drove it before
// it had tables: one iconv call per clean stretch, and around a sequence iconv rejects, the bytes
// the replacement rules in gbk.h name dropped and one "?" written. Every single byte, every pair of
// bytes, every code point, a set of broken sequences and long random texts must come out the same.
#include <gtest/gtest.h>
#include <iconv.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "text/gbk.h"

namespace qelo::text {
namespace {

constexpr const char* kUtf16 = std::endian::native == std::endian::little ? "UTF-16LE" : "UTF-16BE";

class Iconv {
 public:
  Iconv(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
  ~Iconv() {
    if (ok()) iconv_close(cd_);
  }
  Iconv(const Iconv&) = delete;
  Iconv& operator=(const Iconv&) = delete;
  bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }
  iconv_t get() const { return cd_; }
  void Reset() const { iconv(cd_, nullptr, nullptr, nullptr, nullptr); }

 private:
  iconv_t cd_;
};

bool IsLead(unsigned char c) {
  return c >= 0x81 && c <= 0xFE;
}
bool IsTrail(unsigned char c) {
  return c >= 0x40 && c <= 0xFE && c != 0x7F;
}

size_t SkipGbk(const unsigned char* p, size_t left) {
  return left >= 2 && IsLead(p[0]) && IsTrail(p[1]) ? 2 : 1;
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

template <typename Out>
Out Convert(const Iconv& cd, std::string_view in, SkipFn skip, std::string_view replacement) {
  using Unit = typename Out::value_type;
  cd.Reset();
  std::string bytes(in.size() * 3 + 16, '\0');
  char* inPtr = const_cast<char*>(in.data());
  size_t inLeft = in.size();
  size_t used = 0;
  while (inLeft > 0) {
    char* outPtr = bytes.data() + used;
    size_t outLeft = bytes.size() - used;
    const size_t rc = iconv(cd.get(), &inPtr, &inLeft, &outPtr, &outLeft);
    used = bytes.size() - outLeft;
    if (rc != static_cast<size_t>(-1)) break;
    if (errno == E2BIG) {
      bytes.resize(bytes.size() * 2);
      continue;
    }
    const size_t drop = std::min(inLeft, skip(reinterpret_cast<unsigned char*>(inPtr), inLeft));
    inPtr += drop;
    inLeft -= drop;
    if (bytes.size() - used < replacement.size()) bytes.resize(bytes.size() * 2);
    std::memcpy(bytes.data() + used, replacement.data(), replacement.size());
    used += replacement.size();
    cd.Reset();
  }
  Out out(used / sizeof(Unit), Unit{});
  std::memcpy(out.data(), bytes.data(), used);
  return out;
}

std::string_view AsBytes(std::u16string_view s) {
  return {reinterpret_cast<const char*>(s.data()), s.size() * sizeof(char16_t)};
}

// The four conversions straight through iconv.
class Reference {
 public:
  bool ok() const { return toUtf16_.ok() && fromUtf16_.ok() && fromUtf8_.ok() && toUtf8_.ok(); }

  std::u16string GbkToUtf16(std::string_view gbk) const {
    static const char16_t question[] = u"?";
    return Convert<std::u16string>(toUtf16_, gbk, SkipGbk,
                                   AsBytes(std::u16string_view(question, 1)));
  }
  std::string Utf16ToGbk(std::u16string_view text) const {
    return Convert<std::string>(fromUtf16_, AsBytes(text), SkipUtf16, "?");
  }
  std::string Utf8ToGbk(std::string_view utf8) const {
    return Convert<std::string>(fromUtf8_, utf8, SkipUtf8, "?");
  }
  std::string GbkToUtf8(std::string_view gbk) const {
    return Convert<std::string>(toUtf8_, gbk, SkipGbk, "?");
  }

 private:
  Iconv toUtf16_{kUtf16, "CP936"};
  Iconv fromUtf16_{"CP936", kUtf16};
  Iconv fromUtf8_{"CP936", "UTF-8"};
  Iconv toUtf8_{"UTF-8", "CP936"};
};

std::string Hex(std::string_view bytes) {
  std::string out;
  char digits[4];
  for (unsigned char c : bytes) {
    std::snprintf(digits, sizeof digits, "%02X ", c);
    out += digits;
  }
  return out;
}

std::string Hex(std::u16string_view units) {
  std::string out;
  char digits[8];
  for (char16_t u : units) {
    std::snprintf(digits, sizeof digits, "%04X ", static_cast<unsigned>(u));
    out += digits;
  }
  return out;
}

std::u16string Utf16Of(uint32_t cp) {
  if (cp < 0x10000) return std::u16string(1, static_cast<char16_t>(cp));
  cp -= 0x10000;
  return {static_cast<char16_t>(0xD800 + (cp >> 10)), static_cast<char16_t>(0xDC00 + (cp & 0x3FF))};
}

// UTF-8 form of any value up to 0x10FFFF, surrogates included (which makes it ill-formed).
std::string Utf8Of(uint32_t cp) {
  std::string s;
  if (cp < 0x80) {
    s += static_cast<char>(cp);
  } else if (cp < 0x800) {
    s += static_cast<char>(0xC0 | cp >> 6);
    s += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    s += static_cast<char>(0xE0 | cp >> 12);
    s += static_cast<char>(0x80 | (cp >> 6 & 0x3F));
    s += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    s += static_cast<char>(0xF0 | cp >> 18);
    s += static_cast<char>(0x80 | (cp >> 12 & 0x3F));
    s += static_cast<char>(0x80 | (cp >> 6 & 0x3F));
    s += static_cast<char>(0x80 | (cp & 0x3F));
  }
  return s;
}

// Compares every conversion that applies to one input against the reference; keeps the first few
// differences so that a fault over a whole table reads as a handful of examples.
class Comparison {
 public:
  explicit Comparison(const Reference& ref) : ref_(ref) {}

  void Gbk(std::string_view gbk) {
    Check("GbkToUtf16", gbk, GbkToUtf16(gbk), ref_.GbkToUtf16(gbk));
    Check("GbkToUtf8", gbk, GbkToUtf8(gbk), ref_.GbkToUtf8(gbk));
  }
  void Utf16(std::u16string_view text) {
    Check("Utf16ToGbk", text, Utf16ToGbk(text), ref_.Utf16ToGbk(text));
  }
  void Utf8(std::string_view utf8) {
    Check("Utf8ToGbk", utf8, Utf8ToGbk(utf8), ref_.Utf8ToGbk(utf8));
  }

  // Only the first differences are shown; the count covers all of them.
  void Report() const {
    for (const std::string& d : shown_)
      ADD_FAILURE() << d;
    EXPECT_EQ(differences_, 0u);
  }

 private:
  template <typename In, typename Out>
  void Check(const char* what, const In& in, const Out& got, const Out& want) {
    if (got == want) return;
    if (++differences_ <= 8) {
      const size_t cut = 200;
      shown_.push_back(std::string(what) + " of " + Hex(in).substr(0, cut) + "\n  got   " +
                       Hex(got).substr(0, cut) + "\n  iconv " + Hex(want).substr(0, cut));
    }
  }

  const Reference& ref_;
  size_t differences_ = 0;
  std::vector<std::string> shown_;
};

class GbkAgainstIconv : public testing::Test {
 protected:
  void SetUp() override {
    if (!ref_.ok()) GTEST_SKIP() << "this system's iconv has no CP936";
  }
  Reference ref_;
  Comparison compare_{ref_};
};

TEST_F(GbkAgainstIconv, EverySingleByteAndEveryPairOfBytes) {
  for (unsigned first = 0; first <= 0xFF; ++first) {
    const char c = static_cast<char>(first);
    compare_.Gbk(std::string(1, c));
    compare_.Gbk(std::string(1, c) + "A");  // a byte after it decoded afresh or not
    for (unsigned second = 0; second <= 0xFF; ++second)
      compare_.Gbk(std::string{c, static_cast<char>(second)});
  }
  compare_.Report();
}

TEST_F(GbkAgainstIconv, EveryBmpCodePoint) {
  std::u16string all;
  std::string allUtf8;
  for (uint32_t cp = 0; cp <= 0xFFFF; ++cp) {
    compare_.Utf16(Utf16Of(cp));  // surrogates stand alone here
    compare_.Utf8(Utf8Of(cp));    // and here are ill-formed UTF-8
    compare_.Utf8(Utf8Of(cp) + "A");
    all += Utf16Of(cp);
    allUtf8 += Utf8Of(cp);
  }
  // The same in one text, which the ASCII runs and the blocks cut at many places.
  compare_.Utf16(all);
  compare_.Utf8(allUtf8);
  compare_.Gbk(ref_.Utf16ToGbk(all));
  compare_.Report();
}

TEST_F(GbkAgainstIconv, EveryCodePointOutsideTheBmp) {
  for (uint32_t cp = 0x10000; cp <= 0x10FFFF; ++cp) {
    compare_.Utf16(Utf16Of(cp));
    compare_.Utf8(Utf8Of(cp));
  }
  compare_.Report();
}

TEST_F(GbkAgainstIconv, BrokenSequences) {
  const std::u16string utf16[] = {
      u"\xD800",
      u"a\xD800",
      u"\xD800\xD800",
      u"\xDC00\xD800\xDC00",
      u"\xDBFF\xDFFF",
      u"\xDFFF\xDBFF",
      u"\xD800\x4E2D",
      u"\xD800"
      u"a",
      u"\xFEFF"
      u"a",
      u"\xFFFE\xFFFF",
      u"\xE000\xF8FF\x20AC",
      u"\x0080\x00A4\x00B7",
  };
  for (const std::u16string& s : utf16)
    compare_.Utf16(s);
  const char* const utf8[] = {
      "\xC0\x80",
      "\xC1\xBF",
      "\xE0\x80\x80",
      "\xE0\x9F\xBF",
      "\xF0\x80\x80\x80",
      "\xF0\x8F\xBF\xBF",
      "\xED\xA0\x80",
      "\xED\xBF\xBF",
      "\xF4\x90\x80\x80",
      "\xF5\x80\x80\x80",
      "\xF8\x88\x80\x80\x80",
      "\xFC\x84\x80\x80\x80\x80",
      "\xFE",
      "\xFF",
      "\x80",
      "\xBF\x80",
      "\xE4\xB8",
      "\xE4\xB8"
      "A",
      "\xE4"
      "A\xB8\xAD",
      "\xF0\x9F\x98",
      "\xF0\x9F\x98"
      "A",
      "\xEF\xBB\xBF"
      "A",
      "\xC2",
      "\xC2\xC2\xA4",
      "\xE4\xB8\xAD\xAD",
      "\xC3"
      "(",
  };
  for (const char* s : utf8)
    compare_.Utf8(s);
  const char* const gbk[] = {
      "\x81",
      "\x81\x7F",
      "\x81\xFF",
      "\x81\x81\x40",
      "\xFE\xA1",
      "\xFE\xFE",
      "\xA2\xA1",
      "\x80\x80",
      "\xFF\xFF\x81",
      "\x81"
      "A\x40",
      "\xD6",
      "\xD6\xD0\xD6",
  };
  for (const char* s : gbk)
    compare_.Gbk(s);
  compare_.Report();
}

// Long texts of bytes and units chosen to hit ASCII runs, pairs and broken sequences, of lengths
// across many block and word boundaries, each also converted from several starting offsets.
TEST_F(GbkAgainstIconv, RandomTexts) {
  std::mt19937 random(936);
  auto pick = [&random](const auto& from) { return from[random() % std::size(from)]; };
  const unsigned char gbkBytes[] = {'a',  ' ',  '|',  0x00, 0x40, 0x7E, 0x7F, 0x80, 0x81, 0xA1,
                                    0xA2, 0xAA, 0xB0, 0xD6, 0xD0, 0xF7, 0xFE, 0xFF, 0xA0, 0xA4};
  const char16_t units[] = {u'a',   u' ',   0x0000, 0x007F, 0x0080, 0x00B7, 0x20AC, 0x3000,
                            0x4E2D, 0x6587, 0xD800, 0xDBFF, 0xDC00, 0xDFFF, 0xE000, 0xFFFF};
  const std::string utf8Pieces[] = {
      "a",    " ",        "\xE4\xB8\xAD", "\xE6\x96\x87", "\xC2\xB7", "\xF0\x9F\x98\x80",
      "\x80", "\xE4\xB8", "\xED\xA0\x80", "\xC0\xAF",     "\xFF",     "\xE2\x82\xAC"};
  for (int round = 0; round < 60; ++round) {
    const size_t length = random() % 5000;
    // Mostly ASCII with stretches of the rest, as replies are.
    const bool ascii = round % 2 == 0;
    std::string gbk;
    std::u16string text;
    std::string utf8;
    for (size_t i = 0; i < length; ++i) {
      const bool plain = ascii && random() % 4 != 0;
      gbk += plain ? 'x' : static_cast<char>(pick(gbkBytes));
      text += plain ? u'x' : pick(units);
      utf8 += plain ? std::string("x") : pick(utf8Pieces);
    }
    for (size_t offset : {0, 1, 2, 3, 5, 8}) {
      if (offset > length) break;
      compare_.Gbk(std::string_view(gbk).substr(offset));
      compare_.Utf16(std::u16string_view(text).substr(offset));
      compare_.Utf8(std::string_view(utf8).substr(offset));
    }
  }
  compare_.Report();
}

}  // namespace
}  // namespace qelo::text
