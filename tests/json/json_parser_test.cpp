#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <optional>
#include <random>
#include <string>

#include "json/json.h"

namespace qelo::json {
namespace {

std::string Narrow(std::u16string_view text) {
  std::string out;
  for (char16_t u : text)
    out.push_back(u < 128 ? static_cast<char>(u) : '?');
  return out;
}

struct Held {
  TJsonKind kind;
  int64_t integer;  // integer and fixed-point payloads
  double real;      // double payloads
};

TEST(ParseJsonText, Numbers) {
  constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
  constexpr int64_t kMin = std::numeric_limits<int64_t>::min();
  const struct {
    std::u16string_view text;
    Held held;
  } cases[] = {
      {u"12", {TJsonKind::Integer, 12, 0}},
      {u"-3", {TJsonKind::Integer, -3, 0}},
      {u"007", {TJsonKind::Integer, 7, 0}},
      {u"12.5", {TJsonKind::FixedPoint, 125000, 0}},
      {u"12.50", {TJsonKind::FixedPoint, 125000, 0}},
      {u"12.", {TJsonKind::FixedPoint, 120000, 0}},
      {u"1.2345", {TJsonKind::FixedPoint, 12345, 0}},
      {u"-0.25", {TJsonKind::FixedPoint, -2500, 0}},
      {u"1.23456", {TJsonKind::Double, 0, 1.23456}},
      {u"1e3", {TJsonKind::Double, 0, 1000}},
      {u"1.5E2", {TJsonKind::Double, 0, 150}},
      // Doubles on both sides of what one exact multiplication or division reads: 2^53, the
      // largest exact power of ten, more than 19 significant digits.
      {u"-65.6136169999999", {TJsonKind::Double, 0, -65.6136169999999}},
      {u"9007199254740992e-22", {TJsonKind::Double, 0, 9007199254740992e-22}},
      {u"9007199254740993.0", {TJsonKind::Double, 0, 9007199254740993.0}},
      {u"4.5e22", {TJsonKind::Double, 0, 4.5e22}},
      {u"1e23", {TJsonKind::Double, 0, 1e23}},
      {u"0.1000000000000000055511151231257827", {TJsonKind::Double, 0, 0.1}},
      {u"1234567890123456789012e-3", {TJsonKind::Double, 0, 1234567890123456789012e-3}},
      // Malformed or out-of-range texts: never an error, always a defined value.
      {u"-", {TJsonKind::Integer, 0, 0}},
      {u"1-2", {TJsonKind::Integer, 1, 0}},
      {u"12abc", {TJsonKind::Integer, 12, 0}},
      {u"-.5", {TJsonKind::FixedPoint, -5000, 0}},
      {u"1.2.3", {TJsonKind::FixedPoint, 12000, 0}},
      {u"9223372036854775807", {TJsonKind::Integer, kMax, 0}},
      {u"99999999999999999999", {TJsonKind::Integer, kMax, 0}},
      {u"-9223372036854775808", {TJsonKind::Integer, kMin, 0}},
      {u"-99999999999999999999", {TJsonKind::Integer, kMin, 0}},
      // Fixed-point texts beyond the count's range are read as doubles, not saturated.
      {u"9999999999999999.9", {TJsonKind::Double, 0, 9999999999999999.9}},
      {u"999999999999999.", {TJsonKind::Double, 0, 999999999999999.0}},
      {u"-922337203685477.5809", {TJsonKind::Double, 0, -922337203685477.5809}},
      {u"922337203685477.5807", {TJsonKind::FixedPoint, kMax, 0}},
      {u"-922337203685477.5808", {TJsonKind::FixedPoint, kMin, 0}},
      {u"1e", {TJsonKind::Double, 0, 1}},
      {u"1.234567-+", {TJsonKind::Double, 0, 1.234567}},
      {u"-e5", {TJsonKind::Double, 0, 0}},
      {u"1e999", {TJsonKind::Double, 0, std::numeric_limits<double>::infinity()}},
      {u"-1e999", {TJsonKind::Double, 0, -std::numeric_limits<double>::infinity()}},
      {u"1e-999", {TJsonKind::Double, 0, 0}},
      {u"0.000000000000000000000000000000000000000000000000000000000000000000000000000000000000"
       u"000000000000000000000000000000000000000000000000000000000000000000000000000000000000"
       u"000000000000000000000000000000000000000000000000000000000000000000000000000000000000"
       u"000000000000000000000000000000000000000000000000000000000000000000000000000000000001",
       {TJsonKind::Double, 0, 0}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(Narrow(c.text));
    IJsonValue v = ParseJsonText(c.text);
    ASSERT_FALSE(v.Absent());
    ASSERT_EQ(KindOf(v), c.held.kind);
    if (c.held.kind == TJsonKind::Double) {
      EXPECT_EQ(v->DoubleValue(), c.held.real);
    } else {
      EXPECT_EQ(v->IntegerValue(), c.held.integer);
    }
  }
}

// The JSON text of a double in fixed notation has a point and few fraction digits, so it reads
// back as fixed-point where that can hold it; the number must come back unchanged either way.
TEST(ParseJsonText, DoubleTextsReadBackAsTheSameNumber) {
  for (const double d : {999999999999999.0, -999999999999999.0, 922337203685477.6,
                         123456789012345.0, 99999999999999.9, 1e14, 0.5}) {
    const std::u16string text = JsonText(NewDoubleValue(d));
    SCOPED_TRACE(Narrow(text));
    const IJsonValue again = ParseJsonText(text);
    ASSERT_FALSE(again.Absent());
    EXPECT_EQ(JsonText(again), text);
    const double read = KindOf(again) == TJsonKind::FixedPoint
                            ? static_cast<double>(again->FixedValue()) / 10000
                            : again->DoubleValue();
    EXPECT_NEAR(read, d, std::abs(d) * 1e-14);
  }
}

// Each text's result as its JsonText, or nullopt for absent.
TEST(ParseJsonText, LenientDocuments) {
  const struct {
    std::u16string_view text;
    std::optional<std::u16string_view> json;
  } cases[] = {
      {u"[]", u"[]"},
      {u"[1,]", u"[1]"},
      {u"[,1]", u"[\"\",1]"},
      {u"[1", std::nullopt},
      {u"[abc def , x]", u"[\"abc def\",\"x\"]"},
      {u"{a:1, 'b':'x'}", u"{\"b\":\"x\",\"a\":1}"},
      {u"{a :1}", u"{\"a \":1}"},
      {u"{\"a\":1,\"a\":2}", u"{\"a\":2}"},
      {u"[1] trailing text", u"[1]"},
      {u"12abc", u"12"},
      {u"null", u"null"},
      {u"", u"\"\""},
      {u" \t\r\n\b\f", u"\"\""},
      {u"[\"\\u4e2d\"]", u"[\"\u4e2d\"]"},
      {u"[\"\\x41\\q\"]", u"[\"Aq\"]"},
      {u"[\"\\u12\"]", std::nullopt},
      {u"[\"\\x4g\"]", std::nullopt},
      {u"/* note */ [1]", u"[1]"},
      {u"/* note **/ [1]", u"[1]"},
      {u"[1] // note", u"[1]"},
      {u"// note\r\n[2]", u"[2]"},
      {u"[1 /* a */ , // b\n 2]", u"[1,2]"},
      {u"/ [1]", std::nullopt},
      {u"/* open", std::nullopt},
      {u"// open", std::nullopt},
      {u"\v[1]", u"\"\v[1]\""},  // the vertical tab is no blank: one bare word
      {u"<html>\\n</html> \n ", u"\"<html>\n<\\/html>\""},
      {u"[a\tb\t]", u"[\"a\tb\t\"]"},
      {u"{\"k\":v w ,'x':\"y\"}", u"{\"x\":\"y\",\"k\":\"v w\"}"},
      {u"[\"a\\\"b\\/c\\n\\t\"]", u"[\"a\\\"b\\/c\n\t\"]"},
      {u"['it\"s']", u"[\"it\\\"s\"]"},
      {u"[nul, nullable, null , true, truex, fals, false, True, NULL]",
       u"[\"nul\",\"nullable\",null,true,\"truex\",\"fals\",false,\"True\",\"NULL\"]"},
      {u"[null1]", std::nullopt},
      {u"(([1]", u"[1]"},
      {u"{1:2}", u"{\"1\":2}"},
      {u"{a b\\:c:1}", u"{\"a b:c\":1}"},
      {u"[\u4e2d\u6587]", u"[\"\u4e2d\u6587\"]"},
      {u"{\"a\" 1}", std::nullopt},
      {u"{\"a\":1 \"b\":2}", std::nullopt},
      {u"[1 2]", std::nullopt},
      {u"{,}", std::nullopt},
      {u"{\"a\":1", std::nullopt},
      {u"\"unclosed", std::nullopt},
      {u"[1]\0garbage", u"[1]"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(Narrow(c.text));
    IJsonValue v = ParseJsonText(c.text);
    if (!c.json) {
      EXPECT_TRUE(v.Absent());
      continue;
    }
    ASSERT_FALSE(v.Absent());
    EXPECT_EQ(JsonText(v), *c.json);
  }
}

TEST(ParseJsonText, QuotedStringsKeepZeroUnits) {
  IJsonValue v = ParseJsonText(u"\"a\\u0000b\"");
  ASSERT_EQ(KindOf(v), TJsonKind::String);
  EXPECT_EQ(v->Text(), std::u16string(u"a\0b", 3));
}

TEST(ParseJsonText, ErrorKinds) {
  const struct {
    std::u16string_view text;
    TJsonError error;
  } cases[] = {
      {u"[1", TJsonError::EndOfInput},
      {u"\"abc", TJsonError::EndOfInput},
      {u"[1 2]", TJsonError::ArraySeparator},
      {u"{]", TJsonError::MemberName},
      {u"{\"a\" 1}", TJsonError::Colon},
      {u"{a:1 b:2}", TJsonError::MemberSeparator},
      {u"\"\\u00g0\"", TJsonError::String},
      {u"/x", TJsonError::Comment},
      {u"[1]", TJsonError::None},
  };
  for (const auto& c : cases) {
    TJsonTokenizer tokenizer;
    const bool absent = tokenizer.Parse(c.text).Absent();
    EXPECT_EQ(tokenizer.Error(), c.error) << Narrow(c.text);
    EXPECT_EQ(absent, c.error != TJsonError::None) << Narrow(c.text);
  }
}

TEST(ParseJsonText, ThirtyTwoLevelsAtMost) {
  const auto nested = [](int n, std::u16string_view open, std::u16string_view close) {
    std::u16string text;
    for (int i = 0; i < n; ++i)
      text += open;
    for (int i = 0; i < n; ++i)
      text += close;
    return text;
  };
  EXPECT_FALSE(ParseJsonText(nested(32, u"[", u"]")).Absent());
  EXPECT_FALSE(ParseJsonText(nested(31, u"{\"a\":", u"}") + u"").Absent());
  TJsonTokenizer tokenizer;
  EXPECT_TRUE(tokenizer.Parse(nested(33, u"[", u"]")).Absent());
  EXPECT_EQ(tokenizer.Error(), TJsonError::Depth);
  EXPECT_TRUE(tokenizer.Parse(nested(32, u"{\"a\":", u"}")).Absent());
  EXPECT_EQ(tokenizer.Error(), TJsonError::Depth);
  // 32 arrays whose innermost holds a value: the value would sit at level 32.
  std::u16string holding = nested(32, u"[", u"]");
  holding.insert(32, 1, u'1');
  EXPECT_TRUE(ParseJsonText(holding).Absent());

  const std::u16string hostile(1000000, u'[');
  EXPECT_TRUE(tokenizer.Parse(hostile).Absent());
  EXPECT_EQ(tokenizer.Error(), TJsonError::Depth);
}

// Random texts from JSON-like pieces: the reader never fails on them, and whatever it reads
// comes back unchanged through its own JSON text.
TEST(ParseJsonText, RandomTextsRoundTripThroughJsonText) {
  const std::u16string_view pieces[] = {
      u"[",  u"]",    u"{",      u"}",    u",",     u":",        u"\"",    u"'",
      u"\\", u"u",    u"x",      u"0",    u"7",     u"-",        u".",     u"e",
      u"+",  u"null", u"true",   u"fal",  u"n",     u"a",        u" ",     u"\n",
      u"/",  u"*",    u"\u4e2d", u"12.5", u"1e400", u"0.123456", u"\\u00", u"99999999999999999999",
      u"(",  u"\t",   u"\\x4"};
  std::mt19937 random(5);
  int read = 0;
  for (int i = 0; i < 20000; ++i) {
    std::u16string text;
    const int count = static_cast<int>(random() % 24);
    for (int k = 0; k < count; ++k)
      text += pieces[random() % std::size(pieces)];
    const IJsonValue value = ParseJsonText(text);
    if (value.Absent()) continue;
    ++read;
    const std::u16string json = JsonText(value);
    const IJsonValue again = ParseJsonText(json);
    ASSERT_FALSE(again.Absent()) << Narrow(text) << " -> " << Narrow(json);
    ASSERT_EQ(JsonText(again), json) << Narrow(text);
  }
  EXPECT_GT(read, 1000);
}

// A search reply of about 50 MB of text: one pass, bounded memory, every element read.
TEST(ParseJsonText, LargeReply) {
  const std::u16string element =
      u"{\"file_id\":\"a1b2c3\",\"file_name\":\"\u4e2d\u6587\u8d44\u6599\u5408\u96c6.rar\","
      u"\"file_type\":\"rar\",\"file_size\":1048576,\"file_value\":8.5,\"file_views\":1234,"
      u"\"file_time\":\"2013-09-11\",\"file_link\":\"http://pan.example.com/s/1a2b3c\"}";
  std::u16string text = u"[";
  int count = 0;
  while (text.size() < 25u * 1024 * 1024) {  // 25 M units = 50 MB of UTF-16
    if (count++) text += u",\n";
    text += element;
  }
  text += u"]";
  IJsonValue reply = ParseJsonText(text);
  TJsonArray* list = ArrayOf(reply);
  ASSERT_NE(list, nullptr);
  ASSERT_EQ(ElementCount(list), count);
  EXPECT_EQ(MemberText(ElementAt(list, count - 1), u"file_value"), u"8.5");
  EXPECT_EQ(MemberText(ElementAt(list, count / 2), u"file_name"),
            u"\u4e2d\u6587\u8d44\u6599\u5408\u96c6.rar");

  // One string and one comment of the same size.
  const std::u16string big(25u * 1024 * 1024, u'x');
  EXPECT_EQ(ParseJsonText(u"\"" + big + u"\"")->Text().size(), big.size());
  EXPECT_EQ(KindOf(ParseJsonText(u"/*" + big + u"*/ 5")), TJsonKind::Integer);
}

TEST(MemberText, PlainKeysAndLiterals) {
  IJsonValue object = ParseJsonText(
      u"{file_name:'a.rar', file_size:1024, file_value:null, file_id:true, file:'f', "
      u"nullable:1, truename:2, '123':'n', '':'empty', 'Name':'upper'}");
  ASSERT_EQ(KindOf(object), TJsonKind::Object);
  const struct {
    std::u16string_view key;
    std::u16string_view text;
  } cases[] = {
      {u"file_name", u"a.rar"}, {u"file_size", u"1024"},
      {u"file_value", u"null"}, {u"file_id", u"true"},
      {u"missing", u""},        {u"null", u"null"},
      {u"true", u"true"},       {u"false", u"false"},
      {u"null x", u"null"},     {u"nullable", u"1"},
      {u"truename", u"2"},      {u"123", u"n"},
      {u"", u"empty"},          {u"name", u""},
      {u"Name", u"upper"},      {u"file name", u"f"},
      {u"'quoted'", u"quoted"}, {u"-5", u"-5"},
      {u"[1,2]", u"[1,2]"},     {u"{a:1}", u"{\"a\":1}"},
      {u"file_name.x", u""},    {u"/x", u""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(MemberText(object, c.key), c.text) << Narrow(c.key);
  }
  EXPECT_EQ(KindOf(MemberValue(object, u"null")), TJsonKind::Null);
  EXPECT_TRUE(MemberValue(object, u"missing").Absent());
}

// Plain names take a shortcut past the reader; it must agree with the reader on every key.
TEST(MemberValue, ShortcutAgreesWithTheReader) {
  const IJsonValue values[] = {
      ParseJsonText(u"{a:1, n:2, nul:3, t:4, T:5, '7':6, a_b:7, nullx:8, null_:9, truex:10, "
                    u"falsey:11, x_1:12, '1abc':13, A:14}"),
      ParseJsonText(u"[1,2]"), ParseJsonText(u"'s'"), IJsonValue{}};
  const std::u16string_view keys[] = {u"a",      u"n",     u"nul",    u"t",     u"T",
                                      u"7",      u"a_b",   u"nullx",  u"null_", u"truex",
                                      u"falsey", u"x_1",   u"1abc",   u"A",     u"missing",
                                      u"null5",  u"true9", u"false_", u"0",     u"Z9_z"};
  for (const IJsonValue& v : values) {
    for (std::u16string_view key : keys) {
      TJsonTokenizer reader;
      const IJsonValue expected = reader.Lookup(v, key);
      const IJsonValue got = MemberValue(v, key);
      SCOPED_TRACE(Narrow(key));
      EXPECT_EQ(got.Absent(), expected.Absent());
      if (KindOf(v) == TJsonKind::Object && !got.Absent()) {
        EXPECT_EQ(JsonText(got), JsonText(expected));
      }
    }
  }
}

TEST(MemberText, KeysOfValuesThatAreNotObjects) {
  const IJsonValue values[] = {ParseJsonText(u"[1,2]"), ParseJsonText(u"'s'"), ParseJsonText(u"12"),
                               IJsonValue{}};
  for (const IJsonValue& v : values) {
    for (std::u16string_view key : {u"a", u"0", u"file_name"}) {
      EXPECT_TRUE(MemberValue(v, key).Absent()) << Narrow(JsonText(v)) << " " << Narrow(key);
      EXPECT_EQ(MemberText(v, key), u"");
    }
    EXPECT_EQ(MemberText(v, u"null"), u"null");
  }
}

}  // namespace
}  // namespace qelo::json
