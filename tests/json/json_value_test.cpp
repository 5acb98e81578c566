#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "json/json.h"

namespace qelo::json {
namespace {

TEST(JsonTextBuffer, GrowsByTheRuleAndKeepsAZeroAfterTheLastUnit) {
  TJsonTextBuffer b;
  EXPECT_EQ(b.Capacity(), 32u);
  b.Append(std::u16string(31, u'x'));  // 31 < free space 32: no growth
  EXPECT_EQ(b.Capacity(), 32u);
  b.Append(u'y');  // 1 >= free space 1: max(64, 31 + 1 + 8)
  EXPECT_EQ(b.Capacity(), 64u);
  b.Append(std::u16string(100, u'z'));  // max(128, 32 + 100 + 8)
  EXPECT_EQ(b.Capacity(), 140u);
  EXPECT_EQ(b.Length(), 132u);
  EXPECT_EQ(b.At(b.Length()), 0);
  EXPECT_EQ(b.View().substr(30, 3), u"xyz");
  b.Clear();
  EXPECT_EQ(b.Length(), 0u);
  EXPECT_EQ(b.At(0), 0);
}

TEST(JsonArray, ElementsGrowthAndBounds) {
  IJsonValue array = NewArrayValue();
  TJsonArray* list = ArrayOf(array);
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(list->Capacity(), 32);
  EXPECT_EQ(AppendElement(list, NewIntegerValue(7)), 0);
  EXPECT_EQ(AppendElement(list, IJsonValue{}), 1);
  EXPECT_EQ(ElementCount(list), 2);
  EXPECT_EQ(ElementAt(list, 0)->IntegerValue(), 7);
  EXPECT_TRUE(ElementAt(list, 1).Absent());
  EXPECT_TRUE(ElementAt(list, -1).Absent());
  EXPECT_TRUE(ElementAt(list, 2).Absent());

  PutElement(list, 40, NewIntegerValue(40));  // max(2 * 32, 41)
  EXPECT_EQ(list->Capacity(), 64);
  EXPECT_EQ(ElementCount(list), 41);
  EXPECT_TRUE(ElementAt(list, 20).Absent());
  PutElement(list, 200, NewNullValue());  // max(128, 201)
  EXPECT_EQ(list->Capacity(), 201);
  PutElement(list, 5, NewIntegerValue(5));  // inside: length unchanged
  EXPECT_EQ(ElementCount(list), 201);
  EXPECT_EQ(ElementAt(list, 0)->IntegerValue(), 7);
  EXPECT_EQ(ElementAt(list, 40)->IntegerValue(), 40);
  EXPECT_FALSE(list->Put(-1, NewNullValue()));
  EXPECT_EQ(ElementCount(list), 201);
}

TEST(JsonValue, WrongKindGivesNothingAndAbsentIsNotNull) {
  EXPECT_EQ(ArrayOf(NewObjectValue()), nullptr);
  EXPECT_EQ(ObjectOf(NewArrayValue()), nullptr);
  EXPECT_EQ(ArrayOf(IJsonValue{}), nullptr);
  EXPECT_EQ(KindOf(IJsonValue{}), TJsonKind::Null);
  EXPECT_EQ(KindOf(NewNullValue()), TJsonKind::Null);
  EXPECT_TRUE(IJsonValue{}.Absent());
  EXPECT_FALSE(NewNullValue().Absent());
  EXPECT_TRUE(FindMember(ObjectOf(NewObjectValue()), u"a").Absent());
  // The nothing of a wrong kind is accepted everywhere.
  EXPECT_TRUE(FindMember(ObjectOf(NewArrayValue()), u"a").Absent());
  EXPECT_EQ(AppendElement(ArrayOf(NewNullValue()), NewNullValue()), -1);
  PutMember(ObjectOf(NewNullValue()), u"a", NewNullValue());
  EXPECT_EQ(ElementCount(ArrayOf(NewObjectValue())), 0);
}

TEST(JsonValue, ContainersHoldOneReferenceEach) {
  IJsonValue item = NewStringValue(u"x");
  EXPECT_EQ(item->RefCount(), 1);
  {
    IJsonValue array = NewArrayValue();
    IJsonValue object = NewObjectValue();
    AppendElement(ArrayOf(array), item);
    PutMember(ObjectOf(object), u"k", item);
    EXPECT_EQ(item->RefCount(), 3);
    IJsonValue found = FindMember(ObjectOf(object), u"k");
    EXPECT_EQ(found, item);
    EXPECT_EQ(item->RefCount(), 4);
    PutMember(ObjectOf(object), u"k", NewNullValue());  // the old value is released
    EXPECT_EQ(item->RefCount(), 3);
  }
  EXPECT_EQ(item->RefCount(), 1);
}

// Teardown of a chain of a million nested containers must not recurse.
TEST(JsonValue, DeepChainsAreDestroyedWithoutRecursion) {
  IJsonValue root = NewArrayValue();
  IJsonValue at = root;
  for (int i = 0; i < 1000000; ++i) {
    IJsonValue next = i % 2 ? NewArrayValue() : NewObjectValue();
    if (KindOf(at) == TJsonKind::Array) {
      AppendElement(ArrayOf(at), next);
    } else {
      PutMember(ObjectOf(at), u"m", next);
    }
    at = next;
  }
  IJsonValue leaf = NewIntegerValue(1);
  AppendElement(ArrayOf(at), leaf);
  at.Reset();
  EXPECT_EQ(leaf->RefCount(), 2);
  root.Reset();
  EXPECT_EQ(leaf->RefCount(), 1);
}

TEST(JsonMemberTable, NameHash) {
  EXPECT_EQ(JsonNameHash(u"a"), 0x9E370062u);
  EXPECT_EQ(JsonNameHash(u"b"), 0x9E370063u);
  EXPECT_EQ(JsonNameHash(u""), 0u);
  // "ab": 'b' + 129 * 0x9E370062 + 0x9E370001, mod 2^32
  EXPECT_EQ(JsonNameHash(u"ab"), static_cast<uint32_t>(0x62u + 129u * 0x9E370062u + 0x9E370001u));
}

TEST(JsonMemberTable, ReplacingKeepsOneMember) {
  IJsonValue object = NewObjectValue();
  PutMember(ObjectOf(object), u"a", NewIntegerValue(1));
  PutMember(ObjectOf(object), u"a", NewIntegerValue(2));
  EXPECT_EQ(ObjectOf(object)->Count(), 1);
  EXPECT_EQ(FindMember(ObjectOf(object), u"a")->IntegerValue(), 2);
}

TEST(JsonMemberTable, EqualHashesAreTellApartByName) {
  const std::u16string first = u"\u0001\u0082", second = u"\u0002\u0001";
  ASSERT_EQ(JsonNameHash(first), JsonNameHash(second));
  IJsonValue object = NewObjectValue();
  PutMember(ObjectOf(object), second, NewIntegerValue(2));
  PutMember(ObjectOf(object), first, NewIntegerValue(1));
  EXPECT_EQ(FindMember(ObjectOf(object), first)->IntegerValue(), 1);
  EXPECT_EQ(FindMember(ObjectOf(object), second)->IntegerValue(), 2);
  TJsonAvlIterator it(*ObjectOf(object));
  EXPECT_EQ(ObjectOf(object)->Name(*it.Next()), first);
  EXPECT_EQ(ObjectOf(object)->Name(*it.Next()), second);
  EXPECT_EQ(it.Next(), nullptr);
}

TEST(JsonMemberTable, NamesTakenFromTheTableItself) {
  IJsonValue object = NewObjectValue();
  TJsonMemberTable* table = ObjectOf(object);
  PutMember(table, u"first", NewIntegerValue(0));
  // Each new name is a view into the table's own names while the table grows.
  for (int i = 1; i <= 200; ++i) {
    TJsonAvlIterator it(*table);
    const std::u16string_view name = table->Name(*it.Next());
    PutMember(table, std::u16string(name) + u"x", NewIntegerValue(i));
    PutMember(table, name.substr(0, name.size() / 2 + 1), NewIntegerValue(i));
  }
  TJsonAvlIterator it(*table);
  int count = 0;
  while (const TJsonAvlEntry* e = it.Next()) {
    EXPECT_EQ(e->hash, JsonNameHash(table->Name(*e)));
    ++count;
  }
  EXPECT_EQ(count, table->Count());
}

// Heights of the subtree at `at`; checks each recorded balance on the way.
int CheckedHeight(const TJsonAvlTree& tree, int32_t at, int& bad_balances) {
  if (at < 0) return 0;
  const TJsonAvlEntry& e = tree.Entry(at);
  const int lesser = CheckedHeight(tree, e.lesser, bad_balances);
  const int greater = CheckedHeight(tree, e.greater, bad_balances);
  if (e.balance != greater - lesser || e.balance < -1 || e.balance > 1) ++bad_balances;
  return 1 + std::max(lesser, greater);
}

TEST(JsonMemberTable, StaysBalancedAndIteratesByDescendingHashThenName) {
  IJsonValue object = NewObjectValue();
  TJsonMemberTable* table = ObjectOf(object);
  std::mt19937 random(12345);
  std::vector<std::u16string> names;
  for (int i = 0; i < 3000; ++i) {
    std::u16string name;
    const int length = 1 + static_cast<int>(random() % 4);
    for (int k = 0; k < length; ++k)
      name.push_back(static_cast<char16_t>(u'a' + random() % 26));
    names.push_back(name);
    PutMember(table, name, NewIntegerValue(i));
  }
  std::sort(names.begin(), names.end());
  names.erase(std::unique(names.begin(), names.end()), names.end());
  ASSERT_EQ(table->Count(), static_cast<int32_t>(names.size()));

  int bad_balances = 0;
  CheckedHeight(*table, table->Root(), bad_balances);
  EXPECT_EQ(bad_balances, 0);

  TJsonAvlIterator it(*table);
  const TJsonAvlEntry* previous = nullptr;
  int visited = 0;
  while (const TJsonAvlEntry* e = it.Next()) {
    ++visited;
    EXPECT_EQ(e->hash, JsonNameHash(table->Name(*e)));
    if (previous) {
      const bool ordered = previous->hash > e->hash ||
                           (previous->hash == e->hash && table->Name(*previous) < table->Name(*e));
      EXPECT_TRUE(ordered) << visited;
    }
    previous = e;
  }
  EXPECT_EQ(visited, table->Count());
  for (const std::u16string& name : names)
    EXPECT_FALSE(FindMember(table, name).Absent());
  EXPECT_TRUE(FindMember(table, u"not-there").Absent());
}

}  // namespace
}  // namespace qelo::json
