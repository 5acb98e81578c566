// Values that share the arena of the document they were read from: handles that outlive the
// root, changes after the reading, tables the reader laid out, releases on several threads.
// Run under the address sanitizer (.ci/run) any use of a freed block is reported as well.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "json/json.h"
#include "json/json_arena.h"

namespace qelo::json {
namespace {

std::u16string Reply(int elements) {
  std::u16string text = u"[";
  for (int i = 0; i < elements; ++i) {
    if (i) text += u",";
    const std::u16string n(
        std::u16string(u"0123456789").substr(static_cast<std::size_t>(i % 10), 1));
    text += u"{\"file_id\":\"id" + n + u"\",\"file_name\":\"\u4e2d\u6587" + n +
            u".rar\",\"file_size\":" + n + u",\"tags\":[\"a\",\"b\"]}";
  }
  return text + u"]";
}

// Every arena goes with the last value made from it.
class JsonArena : public ::testing::Test {
 protected:
  void SetUp() override { arenas_before_ = TJsonArena::Live(); }
  void TearDown() override { EXPECT_EQ(ArenasMade(), 0); }
  // Arenas in existence that this test made.
  int64_t ArenasMade() const { return TJsonArena::Live() - arenas_before_; }

 private:
  int64_t arenas_before_ = 0;
};

// Heights of the subtree at `at`; counts wrong balances on the way.
int CheckedHeight(const TJsonAvlTree& tree, int32_t at, int& bad) {
  if (at < 0) return 0;
  const TJsonAvlEntry& e = tree.Entry(at);
  const int lesser = CheckedHeight(tree, e.lesser, bad);
  const int greater = CheckedHeight(tree, e.greater, bad);
  if (e.balance != greater - lesser || e.balance < -1 || e.balance > 1) ++bad;
  return 1 + std::max(lesser, greater);
}

TEST_F(JsonArena, HandlesOutliveTheRoot) {
  IJsonValue element, name, tags, tag;
  {
    IJsonValue root = ParseJsonText(Reply(100));
    ASSERT_EQ(ElementCount(ArrayOf(root)), 100);
    EXPECT_EQ(ArenasMade(), 1);
    element = ElementAt(ArrayOf(root), 42);
    name = FindMember(ObjectOf(element), u"file_name");
    tags = MemberValue(element, u"tags");
    tag = ElementAt(ArrayOf(tags), 1);
  }
  element.Reset();
  tags.Reset();
  // Only the name and one tag are left of the document; its blocks are still there.
  EXPECT_EQ(name->Text(),
            u"\u4e2d\u6587"
            u"2.rar");
  EXPECT_EQ(tag->Text(), u"b");
  EXPECT_EQ(name->RefCount(), 1);
  name.Reset();
  EXPECT_EQ(JsonText(tag), u"\"b\"");
}

TEST_F(JsonArena, MembersAndElementsKeptInsideOtherValues) {
  IJsonValue holder = NewArrayValue();
  std::u16string third;
  {
    IJsonValue root = ParseJsonText(Reply(10));
    for (int32_t i = 0; i < ElementCount(ArrayOf(root)); i += 3)
      AppendElement(ArrayOf(holder), ElementAt(ArrayOf(root), i));
    third = JsonText(ElementAt(ArrayOf(root), 3));
  }
  ASSERT_EQ(ElementCount(ArrayOf(holder)), 4);
  EXPECT_EQ(MemberText(ElementAt(ArrayOf(holder), 3), u"file_size"), u"9");
  // A second document read while the first still lives has an arena of its own.
  IJsonValue other = ParseJsonText(u"{x:1}");
  EXPECT_EQ(ArenasMade(), 2);
  PutMember(ObjectOf(other), u"from_first", ElementAt(ArrayOf(holder), 1));
  holder.Reset();
  EXPECT_EQ(MemberText(other, u"from_first"), third);
  EXPECT_NE(third.find(u"\"file_name\":\"\u4e2d\u6587"
                       u"3.rar\""),
            third.npos);
}

// Lists and tables the reader made are changed afterwards: stores in place, growth beyond what
// the reader placed, new and replaced members.
TEST_F(JsonArena, ReadValuesChangedAfterwards) {
  IJsonValue root = ParseJsonText(u"[1, 2, {b: 2, a: 1}]");
  TJsonArray* list = ArrayOf(root);
  ASSERT_EQ(list->Capacity(), 32);
  PutElement(list, 0, NewStringValue(u"first"));
  PutElement(list, 40, NewIntegerValue(40));
  EXPECT_EQ(list->Capacity(), 64);
  AppendElement(list, ElementAt(list, 2));
  EXPECT_EQ(ElementCount(list), 42);
  EXPECT_EQ(JsonText(ElementAt(list, 0)), u"\"first\"");
  EXPECT_EQ(ElementAt(list, 1)->IntegerValue(), 2);

  TJsonMemberTable* table = ObjectOf(ElementAt(list, 41));
  PutMember(table, u"a", NewStringValue(u"replaced"));
  EXPECT_EQ(table->Count(), 2);
  for (int i = 0; i < 50; ++i)
    PutMember(table, std::u16string{u'm', static_cast<char16_t>(u'A' + i)}, NewIntegerValue(i));
  EXPECT_EQ(table->Count(), 52);
  EXPECT_EQ(MemberText(ElementAt(list, 2), u"a"), u"replaced");
  EXPECT_EQ(MemberText(ElementAt(list, 2), u"b"), u"2");
  EXPECT_EQ(MemberText(ElementAt(list, 2), u"mZ"), u"25");
  int bad = 0;
  EXPECT_EQ(CheckedHeight(*table, table->Root(), bad), table->Height());
  EXPECT_EQ(bad, 0);
}

// A document released whole at its root must still give back what was put into it, reached
// only through its own lists and tables, and keep alive what was taken out of it.
TEST_F(JsonArena, ReleasingTheRootAfterChangesAndCopies) {
  const auto held = std::make_shared<int>(0);
  const auto method = [held](const IJsonValue&) { return IJsonValue{}; };
  const long base = held.use_count();
  for (int change = 0; change < 3; ++change) {
    IJsonValue root = ParseJsonText(u"[1, {a: [2]}]");
    IJsonValue kept;
    if (change == 0) PutElement(ArrayOf(root), 5, NewMethodValue(method));
    if (change == 1) {
      const TJsonAvlEntry& a = ObjectOf(ArrayOf(root)->At(1))->Entry(0);
      AppendElement(ArrayOf(a.value), NewMethodValue(method));
    }
    if (change == 2) kept = ElementAt(ArrayOf(root), 1);
    EXPECT_EQ(held.use_count(), change == 2 ? base : base + 1);
    root.Reset();
    EXPECT_EQ(held.use_count(), base) << change;
    if (change == 2) {
      EXPECT_EQ(MemberText(kept, u"a"), u"[2]");
    }
  }
}

TEST_F(JsonArena, FailedReadsLeaveNothing) {
  for (std::u16string_view text : {u"[1, 2, {a: [3, 4", u"{\"a\": \"\\u12\"}", u"[1 2]"}) {
    TJsonTokenizer reader;
    EXPECT_TRUE(reader.Parse(text).Absent());
    EXPECT_NE(reader.Error(), TJsonError::None);
    EXPECT_EQ(ArenasMade(), 0);
  }
  // A reader used again starts afresh, after a failure or a success; nothing it learnt about
  // the objects of one text carries over to the next.
  TJsonTokenizer reader;
  EXPECT_TRUE(reader.Parse(u"[{a:1},{a:2},{a:").Absent());
  EXPECT_EQ(JsonText(reader.Parse(u"[{a:1},{a:2}]")), u"[{\"a\":1},{\"a\":2}]");
  EXPECT_EQ(JsonText(reader.Parse(u"[{\"a\":1,\"b\":2,\"a\":3}]")), u"[{\"b\":2,\"a\":3}]");
  EXPECT_EQ(JsonText(reader.Parse(u"[{}, {}]")), u"[{},{}]");
  EXPECT_EQ(JsonText(reader.Parse(u"[{\"a\":1,\"b\":2}]")), u"[{\"b\":2,\"a\":1}]");
}

// Thirty-one levels, each held only by the one below it once the root is gone.
TEST_F(JsonArena, DeepestValueOutlivesItsContainers) {
  std::u16string text;
  for (int i = 0; i < 31; ++i)
    text += i % 2 ? u"[" : u"{\"k\":";
  text += u"\"deep\"";
  for (int i = 30; i >= 0; --i)
    text += i % 2 ? u"]" : u"}";
  IJsonValue at = ParseJsonText(text);
  ASSERT_FALSE(at.Absent()) << std::string(text.begin(), text.end());
  IJsonValue innermost;
  for (int i = 0; i < 31; ++i) {
    at = i % 2 ? ElementAt(ArrayOf(at), 0) : FindMember(ObjectOf(at), u"k");
    ASSERT_FALSE(at.Absent()) << i;
  }
  EXPECT_EQ(at->Text(), u"deep");
}

// The reader lays tables out at once instead of inserting member by member; they must be the
// same tables to every reader of them: same members, same order, every balance right.
std::vector<std::u16string> Order(const TJsonMemberTable& table) {
  std::vector<std::u16string> out;
  TJsonAvlIterator it(table);
  while (const TJsonAvlEntry* e = it.Next())
    out.push_back(std::u16string(table.Name(*e)) + u"=" + JsonText(e->value));
  return out;
}

TEST_F(JsonArena, TablesAsReadEqualTablesBuiltMemberByMember) {
  std::mt19937 random(11);
  for (int count : {0, 1, 2, 3, 7, 8, 15, 16, 17, 33, 100, 1000}) {
    for (int round = 0; round < 5; ++round) {
      SCOPED_TRACE(count);
      // Names from a small set, so that some repeat and the later value must win.
      std::u16string text = u"{";
      IJsonValue built = NewObjectValue();
      for (int i = 0; i < count; ++i) {
        std::u16string name{u'n', static_cast<char16_t>(u'a' + random() % (count / 2 + 2))};
        if (random() % 3 == 0) name += u"\u00e9";
        if (i) text += u",";
        text += u"\"";
        text += name;
        text += u"\":";
        text += static_cast<char16_t>(u'0' + i % 10);
        PutMember(ObjectOf(built), name, NewIntegerValue(i % 10));
      }
      text += u"}";
      const IJsonValue read = ParseJsonText(text);
      const TJsonMemberTable& table = *ObjectOf(read);
      ASSERT_EQ(table.Count(), ObjectOf(built)->Count());
      EXPECT_EQ(Order(table), Order(*ObjectOf(built)));
      int bad = 0;
      CheckedHeight(table, table.Root(), bad);
      EXPECT_EQ(bad, 0);
      TJsonAvlIterator it(*ObjectOf(built));
      while (const TJsonAvlEntry* e = it.Next())
        EXPECT_EQ(JsonText(FindMember(&table, ObjectOf(built)->Name(*e))), JsonText(e->value));
    }
  }
}

// Handles to the values of one document taken and dropped on several threads at once, the
// root dropped by the main thread meanwhile: every count ends where it started and the arena
// goes exactly once (the sanitizer run checks the rest).
TEST_F(JsonArena, ReferencesTakenAndDroppedOnSeveralThreads) {
  IJsonValue root = ParseJsonText(Reply(200));
  std::vector<IJsonValue> elements;
  for (int32_t i = 0; i < ElementCount(ArrayOf(root)); ++i)
    elements.push_back(ElementAt(ArrayOf(root), i));
  const IJsonValue watched = FindMember(ObjectOf(elements[7]), u"file_name");
  const int32_t watched_refs = watched->RefCount();
  std::atomic<bool> go{false};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&elements, &go, t] {
      while (!go.load())
        std::this_thread::yield();
      for (int round = 0; round < 200; ++round) {
        for (std::size_t i = static_cast<std::size_t>(t); i < elements.size(); i += 2) {
          IJsonValue copy = elements[i];
          IJsonValue name = FindMember(ObjectOf(copy), u"file_name");
          std::u16string text = MemberText(copy, u"file_id");
          if (text.empty() || name.Absent()) std::abort();
        }
      }
    });
  }
  go = true;
  root.Reset();
  for (std::thread& thread : threads)
    thread.join();
  EXPECT_EQ(watched->RefCount(), watched_refs);
  EXPECT_EQ(ArenasMade(), 1);
  // The elements go on other threads, in an order of their own.
  std::vector<std::thread> droppers;
  for (int t = 0; t < 2; ++t) {
    droppers.emplace_back([&elements, t] {
      for (std::size_t i = static_cast<std::size_t>(t); i < elements.size(); i += 2)
        elements[i].Reset();
    });
  }
  for (std::thread& thread : droppers)
    thread.join();
  EXPECT_EQ(watched->Text(),
            u"\u4e2d\u6587"
            u"7.rar");
}

// Large documents take large blocks; a string larger than a block gets a block of its own.
TEST_F(JsonArena, LargeDocumentsAndStrings) {
  IJsonValue root = ParseJsonText(Reply(60000));
  ASSERT_EQ(ElementCount(ArrayOf(root)), 60000);
  EXPECT_EQ(MemberText(ElementAt(ArrayOf(root), 59999), u"file_id"), u"id9");
  const std::u16string big(3u << 20, u'x');
  IJsonValue text = ParseJsonText(u"[\"" + big + u"\", 1]");
  root.Reset();
  EXPECT_EQ(ElementAt(ArrayOf(text), 0)->Text().size(), big.size());
  EXPECT_EQ(ElementAt(ArrayOf(text), 1)->IntegerValue(), 1);
}

}  // namespace
}  // namespace qelo::json
