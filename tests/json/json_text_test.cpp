#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <limits>
#include <string>

#include "json/json.h"

namespace qelo::json {
namespace {

std::string Narrow(const std::u16string& text) {
  std::string out;
  for (char16_t u : text)
    out.push_back(u < 128 ? static_cast<char>(u) : '?');
  return out;
}

TEST(JsonNumberText, FixedPoint) {
  const struct {
    int64_t value;
    const char* text;
  } cases[] = {
      {125000, "12.5"},
      {10000, "1."},
      {12345, "1.2345"},
      {5, "0.0005"},
      {-15000, "-1.5"},
      {120000, "12."},
      {-2500, "-0.25"},
      {0, "0."},
      {std::numeric_limits<int64_t>::min(), "-922337203685477.5808"},
      {std::numeric_limits<int64_t>::max(), "922337203685477.5807"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(FixedPointText(c.value), c.text) << c.value;
}

TEST(JsonNumberText, Integer) {
  EXPECT_EQ(IntegerText(0), "0");
  EXPECT_EQ(IntegerText(-7), "-7");
  EXPECT_EQ(IntegerText(std::numeric_limits<int64_t>::min()), "-9223372036854775808");
  EXPECT_EQ(IntegerText(std::numeric_limits<int64_t>::max()), "9223372036854775807");
}

TEST(JsonNumberText, DoubleWithFifteenSignificantDigits) {
  const struct {
    double value;
    const char* text;
  } cases[] = {
      {3.14159, "3.14159"},
      {0.5, "0.5"},
      {100000.0, "100000."},
      {0.00001, "1.e-005"},
      {1.5e20, "1.5e+020"},
      {-2.25, "-2.25"},
      {0.1, "0.1"},
      {0.05, "5.e-002"},  // exponent -2 leaves the fixed range
      {1.0 / 3, "0.333333333333333"},
      {2.0 / 3, "0.666666666666667"},
      {123456789012345.0, "123456789012345."},
      {1e15, "1.e+015"},
      {999999999999999.9, "1.e+015"},  // rounds up into the next power of ten
      {9.9999999999999995, "10."},
      {1.23456, "1.23456"},
      {1e100, "1.e+100"},
      {-1.25e-100, "-1.25e-100"},
      {DBL_MAX, "1.79769313486232e+308"},
      {5e-324, "4.94065645841247e-324"},
      {0.0, "0."},
      {-0.0, "-0."},
      {std::numeric_limits<double>::infinity(), "null"},
      {std::nan(""), "null"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(DoubleText(c.value), c.text) << c.text;
}

TEST(JsonText, ObjectsAreWrittenInTreeOrder) {
  IJsonValue object = NewObjectValue();
  PutMember(ObjectOf(object), u"a", NewIntegerValue(1));
  PutMember(ObjectOf(object), u"b", NewIntegerValue(2));
  EXPECT_EQ(JsonText(object), u"{\"b\":2,\"a\":1}");
  EXPECT_EQ(JsonText(NewObjectValue()), u"{}");
}

TEST(JsonText, MinimalEscapesAndSkippedElements) {
  IJsonValue array = NewArrayValue();
  TJsonArray* list = ArrayOf(array);
  AppendElement(list, NewBooleanValue(true));
  AppendElement(list, NewNullValue());
  AppendElement(list, NewStringValue(u"x/y"));
  EXPECT_EQ(JsonText(array), u"[true,null,\"x\\/y\"]");

  AppendElement(list, NewMethodValue([](const IJsonValue&) { return IJsonValue{}; }));
  AppendElement(list, IJsonValue{});
  AppendElement(list, NewStringValue(std::u16string(u"q\"\\\n\u4e2d\0.", 7)));
  EXPECT_EQ(JsonText(array),
            std::u16string(u"[true,null,\"x\\/y\",null,\"q\\\"\\\\\n\u4e2d\\u0000.\"]"));

  IJsonValue object = NewObjectValue();
  PutMember(ObjectOf(object), u"m", NewMethodValue([](const IJsonValue& v) { return v; }));
  PutMember(ObjectOf(object), u"a/", IJsonValue{});
  EXPECT_EQ(JsonText(object), u"{\"a\\/\":null}");
  EXPECT_EQ(JsonText(NewMethodValue([](const IJsonValue& v) { return v; })), u"");
}

TEST(JsonText, NestedContainersAndCycles) {
  IJsonValue outer = NewArrayValue();
  IJsonValue inner = NewObjectValue();
  IJsonValue empty = NewArrayValue();
  PutMember(ObjectOf(inner), u"e", empty);
  PutMember(ObjectOf(inner), u"n", NewFixedValue(-15000));
  AppendElement(ArrayOf(outer), inner);
  AppendElement(ArrayOf(outer), NewDoubleValue(1.5e20));
  AppendElement(ArrayOf(outer), inner);  // the same value twice is written twice
  const std::u16string once =
      u"{\"" +
      std::u16string(JsonNameHash(u"e") > JsonNameHash(u"n") ? u"e\":[],\"n\":-1.5"
                                                             : u"n\":-1.5,\"e\":[]") +
      u"}";
  EXPECT_EQ(JsonText(outer), u"[" + once + u",1.5e+020," + once + u"]");

  // A container inside itself is left out while it is being written.
  AppendElement(ArrayOf(empty), outer);
  PutMember(ObjectOf(inner), u"self", inner);
  EXPECT_EQ(JsonText(empty), JsonText(empty));  // flags are cleared after each write
  const std::u16string text = JsonText(outer);
  EXPECT_EQ(text.find(u"self"), std::u16string::npos);
  EXPECT_FALSE(outer->BeingWritten());
  // Break the cycles so the values can go.
  PutElement(ArrayOf(empty), 0, IJsonValue{});
  PutMember(ObjectOf(inner), u"self", IJsonValue{});
}

TEST(JsonText, DeepNestingIsWrittenWithoutRecursion) {
  constexpr int kDepth = 200000;
  IJsonValue root = NewArrayValue();
  IJsonValue at = root;
  for (int i = 1; i < kDepth; ++i) {
    IJsonValue next = NewArrayValue();
    AppendElement(ArrayOf(at), next);
    at = next;
  }
  at.Reset();
  const std::u16string text = JsonText(root);
  EXPECT_EQ(text, std::u16string(kDepth, u'[') + std::u16string(kDepth, u']'));
}

TEST(ValueText, ScalarsAndStrings) {
  const struct {
    IJsonValue value;
    std::u16string text;
  } cases[] = {
      {NewStringValue(u"x/y"), u"x/y"}, {NewStringValue(u"a\nb"), u"a\nb"},
      {NewFixedValue(120000), u"12."},  {NewIntegerValue(-7), u"-7"},
      {NewNullValue(), u"null"},        {NewBooleanValue(false), u"false"},
      {NewArrayValue(), u"[]"},         {IJsonValue{}, u""},
  };
  for (const auto& c : cases)
    EXPECT_EQ(ValueText(c.value), c.text) << Narrow(c.text);
  IJsonValue array = NewArrayValue();
  AppendElement(ArrayOf(array), NewStringValue(u"a\nb"));
  EXPECT_EQ(ValueText(array), u"[\"a\nb\"]");
}

}  // namespace
}  // namespace qelo::json
