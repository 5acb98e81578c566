// The reader against the plain unit-by-unit reader (reference_reader.h) on the same texts: the
// same error kind, and the same value, compared by its JSON text.
#include <gtest/gtest.h>

#include <bit>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "json/json.h"
#include "json/reference_reader.h"

namespace qelo::json {
namespace {

std::string Narrow(std::u16string_view text) {
  std::string out;
  for (char16_t u : text) {
    if (u >= 32 && u < 127) {
      out.push_back(static_cast<char>(u));
    } else {
      out += "\\u" + std::to_string(static_cast<unsigned>(u));
    }
  }
  return out;
}

// Empty text for an absent result.
std::u16string Described(const IJsonValue& v) {
  if (!v) return {};
  std::u16string out = u"=";
  out += JsonText(v);
  return out;
}

// With a fresh reader, and with one that has read the texts before: a reader used again must
// carry nothing over from one text to the next.
void ExpectSameParse(std::u16string_view text) {
  static TJsonTokenizer reused;
  TJsonTokenizer reader;
  reference::TReferenceReader plain;
  const IJsonValue got = reader.Parse(text);
  const IJsonValue expected = plain.Parse(text);
  ASSERT_EQ(reader.Error(), plain.Error()) << Narrow(text);
  ASSERT_EQ(Described(got), Described(expected)) << Narrow(text);
  const IJsonValue again = reused.Parse(text);
  ASSERT_EQ(reused.Error(), plain.Error()) << Narrow(text);
  ASSERT_EQ(Described(again), Described(expected)) << Narrow(text);
}

void ExpectSameLookup(const IJsonValue& context, std::u16string_view key) {
  TJsonTokenizer reader;
  reference::TReferenceReader plain;
  const IJsonValue got = reader.Lookup(context, key);
  const IJsonValue expected = plain.Lookup(context, key);
  ASSERT_EQ(reader.Error(), plain.Error()) << Narrow(key);
  ASSERT_EQ(Described(got), Described(expected)) << Narrow(key);
}

// Pieces that reach every state: brackets, separators, quotes, escapes (good and bad), the
// literal words and their near misses, numbers of each kind, blanks and comments, the unit 0,
// units above 255 and the ignored "(".
const std::u16string_view kPieces[] = {
    u"[",
    u"]",
    u"{",
    u"}",
    u",",
    u":",
    u"\"",
    u"'",
    u"\\",
    u"\\u00",
    u"\\u4e2d",
    u"\\x4",
    u"\\x41",
    u"\\n",
    u"\\/",
    u"\\u0000",
    u"0",
    u"7",
    u"-",
    u".",
    u"e",
    u"E",
    u"+",
    u"12.5",
    u"1e400",
    u"0.12345",
    u"99999999999999999999",
    u"null",
    u"true",
    u"false",
    u"fal",
    u"nul",
    u"True",
    u"n",
    u"t",
    u"a",
    u"b c",
    u"_x",
    u" ",
    u"\n",
    u"\r",
    u"\t",
    u"\v",
    u"\f",
    u"/",
    u"*",
    u"/*",
    u"*/",
    u"//",
    u"(",
    u")",
    u"\u4e2d",
    u"\u00e9",
    u"ab",
    std::u16string_view(u"\0", 1),
};

std::u16string RandomText(std::mt19937& random, int max_pieces) {
  std::u16string text;
  const int count = static_cast<int>(random() % static_cast<unsigned>(max_pieces + 1));
  for (int k = 0; k < count; ++k)
    text += kPieces[random() % std::size(kPieces)];
  return text;
}

// Containers nested up to and beyond the last level, holding a value or empty.
TEST(ReaderAgreement, DeepNesting) {
  for (int depth = 28; depth <= 34; ++depth) {
    for (const std::u16string_view inner : {u"", u"1", u"'s'", u"[]", u"{}", u"x"}) {
      for (unsigned kinds = 0; kinds < 8; ++kinds) {
        std::u16string open, close;
        for (int level = 0; level < depth; ++level) {
          const bool object = (kinds >> (level % 3)) & 1;
          open += object ? u"{\"k\":" : u"[";
          close.insert(close.begin(), object ? u'}' : u']');
        }
        ASSERT_NO_FATAL_FAILURE(ExpectSameParse(open + std::u16string(inner) + close));
        ASSERT_NO_FATAL_FAILURE(ExpectSameParse(open + std::u16string(inner)));
      }
    }
  }
}

TEST(ReaderAgreement, RandomTexts) {
  std::mt19937 random(20240917);
  for (int i = 0; i < 60000; ++i) {
    const std::u16string text = RandomText(random, 28);
    ASSERT_NO_FATAL_FAILURE(ExpectSameParse(text));
  }
}

// Documents that mostly read well, so that values are built deep inside containers, with a
// random unit spliced in somewhere.
TEST(ReaderAgreement, RandomDocumentsWithOneChange) {
  std::mt19937 random(77);
  const std::u16string_view scalars[] = {u"1",          u"-2.5",  u"1.234567",    u"\"s\"",
                                         u"'q'",        u"null",  u"true",        u"bare word",
                                         u"\"a\\nb\"",  u"x\\ty", u"nullx",       u"1e3",
                                         u"\"\u4e2d\"", u"''",    u"\"\\u0000z\""};
  const std::u16string_view names[] = {u"\"a\"", u"b",     u"'c'",         u"\"a\"", u"d e",
                                       u"\"\"",  u"n\\:m", u"\"\\u0041\"", u"1"};
  for (int i = 0; i < 20000; ++i) {
    std::u16string text;
    std::vector<char16_t> open;
    const int tokens = 1 + static_cast<int>(random() % 40);
    for (int k = 0; k < tokens; ++k) {
      const unsigned pick = random() % 10;
      const bool in_object = !open.empty() && open.back() == u'}';
      if (in_object) text += std::u16string(names[random() % std::size(names)]) + u":";
      if (pick < 2 && open.size() < 34) {
        open.push_back(random() % 2 ? u']' : u'}');
        text += open.back() == u']' ? u"[" : u"{";
        continue;
      }
      text += scalars[random() % std::size(scalars)];
      if (random() % 4 == 0 && !open.empty()) {
        text.push_back(open.back());
        open.pop_back();
      }
      if (!open.empty()) text += random() % 6 == 0 ? u" /* c */ ," : u",";
    }
    while (!open.empty() && random() % 8 != 0) {
      text.push_back(open.back());
      open.pop_back();
    }
    if (random() % 3 == 0) text += random() % 2 ? u" // tail" : u" /* tail";
    ASSERT_NO_FATAL_FAILURE(ExpectSameParse(text));
    // Every prefix of a short document: texts that end anywhere.
    if (text.size() < 60) {
      for (std::size_t n = 0; n < text.size(); ++n)
        ASSERT_NO_FATAL_FAILURE(ExpectSameParse(std::u16string_view(text).substr(0, n)));
    }
    const std::size_t at = random() % (text.size() + 1);
    text.insert(at, kPieces[random() % std::size(kPieces)]);
    ASSERT_NO_FATAL_FAILURE(ExpectSameParse(text));
  }
}

// Arrays of objects that mostly repeat the names of the object before, as a reply's results
// do, with the changes that must end the repetition: a name missing, added, swapped, repeated,
// quoted differently, escaped, or an object nested at the same level.
TEST(ReaderAgreement, ObjectsThatRepeatTheirNames) {
  const std::u16string_view names[] = {u"\"id\"",         u"\"name\"", u"'name'",   u"\"size\"",
                                       u"\"n\\u0061me\"", u"name",     u"\"it's\"", u"'it\\'s'",
                                       u"\"a\\\"b\"",     u"\"\"",     u"\"na\"",   u"\"\u4e2d\"",
                                       u"'it's'",         u"\"a\"b\"", u"'a\\'b'"};
  const std::u16string_view values[] = {u"1",   u"'x'",        u"\"y\"", u"null",
                                        u"[1]", u"{\"id\":2}", u"v w"};
  std::mt19937 random(99);
  for (int i = 0; i < 3000; ++i) {
    std::vector<std::u16string_view> shape;
    // Mostly a few members; sometimes about as many as a recorded shape holds, or more.
    const int size = random() % 8 == 0 ? 28 + static_cast<int>(random() % 8)
                                       : 1 + static_cast<int>(random() % 6);
    for (int k = size; k > 0; --k)
      shape.push_back(names[random() % std::size(names)]);
    std::u16string text = u"[";
    for (int n = 1 + static_cast<int>(random() % 6); n > 0; --n) {
      std::vector<std::u16string_view> member = shape;
      switch (random() % 8) {
        case 0:
          member.pop_back();
          break;
        case 1:
          member.push_back(names[random() % std::size(names)]);
          break;
        case 2:
          std::swap(member.front(), member.back());
          break;
        case 3:
          member[random() % member.size()] = names[random() % std::size(names)];
          break;
        default:
          break;
      }
      text += u"{";
      for (std::size_t k = 0; k < member.size(); ++k) {
        if (k) text += u",";
        text +=
            std::u16string(member[k]) + u":" + std::u16string(values[random() % std::size(values)]);
      }
      text += n > 1 ? u"}," : u"}";
    }
    text += u"]";
    ASSERT_NO_FATAL_FAILURE(ExpectSameParse(text));
  }
}

// A number's kind and exact payload, for the number tests: the text form shows a double to 15
// digits only.
std::string Exactly(const IJsonValue& v) {
  if (!v) return "absent";
  const auto kind = std::to_string(static_cast<int>(v->Kind())) + ":";
  if (v->Kind() == TJsonKind::Double)
    return kind + std::to_string(std::bit_cast<uint64_t>(v->DoubleValue()));
  if (v->Kind() == TJsonKind::Integer || v->Kind() == TJsonKind::FixedPoint)
    return kind + std::to_string(v->IntegerValue());
  return kind + Narrow(JsonText(v));
}

void ExpectSameNumber(std::u16string_view number) {
  TJsonTokenizer reader;
  reference::TReferenceReader plain;
  std::u16string in_array(1, u'[');
  in_array.append(number).push_back(u']');
  for (const std::u16string_view text : {number, std::u16string_view(in_array)}) {
    IJsonValue got = reader.Parse(text);
    IJsonValue expected = plain.Parse(text);
    if (text.front() == u'[') {
      got = ElementAt(ArrayOf(got), 0);
      expected = ElementAt(ArrayOf(expected), 0);
    }
    ASSERT_EQ(Exactly(got), Exactly(expected)) << Narrow(text);
  }
}

// Numbers at the edges of each conversion: the 64-bit and fixed-point ranges, doubles whose
// digits or exponent are just inside or outside what one exact multiplication or division can
// read, halfway cases, subnormals, overflow, and malformed runs of number characters.
TEST(ReaderAgreement, NumberEdges) {
  const std::u16string_view numbers[] = {
      u"9223372036854775807",
      u"9223372036854775808",
      u"-9223372036854775808",
      u"-9223372036854775809",
      u"99999999999999999999",
      u"922337203685477.5807",
      u"922337203685477.5808",
      u"-922337203685477.5808",
      u"-922337203685477.5809",
      u"1.23456",
      u"0.00001",
      u"-0.000001",
      u"9007199254740991e0",
      u"9007199254740992e0",
      u"9007199254740993e0",
      u"9007199254740993.0e0",
      u"18014398509481985e-1",
      u"1e22",
      u"1e23",
      u"-1e-22",
      u"1e-23",
      u"4.35679e22",
      u"9999999999999999999e22",
      u"9999999999999999999e-22",
      u"99999999999999999999e0",
      u"1234567890123456789012e-3",
      u"0.1e1",
      u"0.30000000000000004",
      u"2.2250738585072011e-308",
      u"2.2250738585072014e-308",
      u"4.9e-324",
      u"2.4703282292062327e-324",
      u"2.4703282292062328e-324",
      u"1e-400",
      u"-1e-400",
      u"1.7976931348623157e308",
      u"1.7976931348623159e308",
      u"1e309",
      u"-1e309",
      u"0e999999999999",
      u"1e-999999999999",
      u"1e999999999999",
      u"000000000000000000001.5e0",
      u"0.000000000000000000000000000000123456789012345678901234567890",
      u"1e",
      u"1e+",
      u"1e-",
      u"1.e5",
      u"-.5e1",
      u"-",
      u"-.",
      u"-e5",
      u"1.2.3",
      u"1.23456-7",
      u"1.2-3",
      u"1.23456e5e6",
      u"1e5.5",
      u"12345.678901234567890123456789",
      u"7.00000",
      u"-0.00000",
      u"-0e0",
      u"9.999999999999999999999e22",
      u"5e-324",
      u"1.5e-5"};
  for (const std::u16string_view n : numbers)
    ASSERT_NO_FATAL_FAILURE(ExpectSameNumber(n));
}

// Random numbers of up to 25 digits, some with a point or an exponent, some with stray signs.
TEST(ReaderAgreement, RandomNumbers) {
  std::mt19937 random(2026);
  const auto digits = [&](int count) {
    std::u16string out;
    for (int i = 0; i < count; ++i)
      out.push_back(static_cast<char16_t>(u'0' + random() % 10));
    return out;
  };
  for (int i = 0; i < 200000; ++i) {
    std::u16string n = random() % 2 ? u"-" : u"";
    n += digits(1 + static_cast<int>(random() % 25));
    if (random() % 4 != 0) n.append(u".").append(digits(static_cast<int>(random() % 21)));
    if (random() % 3 == 0) {
      n += random() % 2 ? u"e" : u"E";
      n += random() % 3 == 0 ? u"-" : random() % 2 ? u"+" : u"";
      n += digits(1 + static_cast<int>(random() % 3));
    }
    if (random() % 16 == 0) n.insert(random() % n.size() + 1, random() % 2 ? u"-" : u".");
    ASSERT_NO_FATAL_FAILURE(ExpectSameNumber(n));
  }
}

TEST(ReaderAgreement, Lookups) {
  const IJsonValue contexts[] = {
      ParseJsonText(u"{a:1, n:2, nul:3, 'file name':4, '7':5, 'a\\\\b':6, '':7, truex:8}"),
      ParseJsonText(u"[1,2]"), ParseJsonText(u"'s'"), ParseJsonText(u"12"), IJsonValue{}};
  std::mt19937 random(3);
  for (int i = 0; i < 20000; ++i) {
    const std::u16string key = RandomText(random, 6);
    for (const IJsonValue& context : contexts)
      ASSERT_NO_FATAL_FAILURE(ExpectSameLookup(context, key));
  }
}

}  // namespace
}  // namespace qelo::json
