#include "json/json_build.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <new>

#include "json/json_arena.h"
#include "json/json_array.h"

namespace qelo::json {

namespace {

// a lies on the lesser side of b: greater hash first, equal hashes by ascending name.
bool Lesser(const TJsonPendingMember& a, const TJsonPendingMember& b) {
  if (a.hash != b.hash) return a.hash > b.hash;
  return a.name != b.name && a.name->View() < b.name->View();
}

bool SameName(const TJsonPendingMember& a, const TJsonPendingMember& b) {
  return a.hash == b.hash && (a.name == b.name || a.name->View() == b.name->View());
}

int32_t Middle(int32_t lo, int32_t hi) {
  return lo < hi ? lo + (hi - lo) / 2 : -1;
}

// Links entries already in tree order into a height-balanced tree, each entry the middle of
// its range; the lesser range is never shorter than the greater, and never by more than one
// entry, so every balance is 0 or -1. Returns the root.
int32_t LinkInOrder(TJsonAvlEntry* entries, int32_t count) {
  struct Range {
    int32_t lo, hi;
  };
  std::array<Range, 64> stack;  // depth-first, at most one pending range per level
  std::size_t depth = 0;
  if (count > 0) stack[depth++] = Range{0, count};
  while (depth > 0) {
    const Range r = stack[--depth];
    const int32_t mid = Middle(r.lo, r.hi);
    TJsonAvlEntry& e = entries[mid];
    e.lesser = Middle(r.lo, mid);
    e.greater = Middle(mid + 1, r.hi);
    e.balance = std::bit_width(static_cast<uint32_t>(r.hi - mid - 1)) -
                std::bit_width(static_cast<uint32_t>(mid - r.lo));
    if (e.lesser >= 0) stack[depth++] = Range{r.lo, mid};
    if (e.greater >= 0) stack[depth++] = Range{mid + 1, r.hi};
  }
  return Middle(0, count);
}

}  // namespace

TJsonValue* TJsonBuild::Null(TJsonArena* arena) {
  return Scalar(arena, TJsonKind::Null);
}

TJsonValue* TJsonBuild::Boolean(TJsonArena* arena, bool value) {
  TJsonValue* v = Scalar(arena, TJsonKind::Boolean);
  v->payload_.boolean = value ? 1 : 0;
  return v;
}

TJsonValue* TJsonBuild::Double(TJsonArena* arena, double value) {
  TJsonValue* v = Scalar(arena, TJsonKind::Double);
  v->payload_.real = value;
  return v;
}

TJsonValue* TJsonBuild::Fixed(TJsonArena* arena, int64_t value) {
  TJsonValue* v = Scalar(arena, TJsonKind::FixedPoint);
  v->payload_.integer = value;
  return v;
}

TJsonValue* TJsonBuild::OpenString(TJsonArena* arena, std::size_t capacity, char16_t** units) {
  TJsonValue* v = TJsonValue::Allocate(arena, TJsonKind::String, capacity * sizeof(char16_t));
  v->payload_.length = 0;
  *units = static_cast<char16_t*>(v->Extra());
  return v;
}

void TJsonBuild::CloseString(TJsonArena* arena, TJsonValue* value, std::size_t capacity,
                             std::size_t length) {
  value->payload_.length = length;
  arena->Shrink(value, sizeof(TJsonValue) + capacity * sizeof(char16_t),
                sizeof(TJsonValue) + length * sizeof(char16_t));
}

TJsonValue* TJsonBuild::EmptyArray() {
  TJsonValue* v = TJsonValue::Allocate(nullptr, TJsonKind::Array, sizeof(TJsonArray));
  v->payload_.array = new (v->Extra()) TJsonArray();
  return v;
}

TJsonValue* TJsonBuild::EmptyObject() {
  TJsonValue* v = TJsonValue::Allocate(nullptr, TJsonKind::Object, sizeof(TJsonMemberTable));
  v->payload_.members = new (v->Extra()) TJsonMemberTable();
  return v;
}

TJsonValue* TJsonBuild::Method(TJsonMethod method) {
  TJsonValue* v = TJsonValue::Allocate(nullptr, TJsonKind::Method, sizeof(TJsonMethod));
  v->payload_.method = new (v->Extra()) TJsonMethod(std::move(method));
  return v;
}

TJsonValue* TJsonBuild::Array(TJsonArena* arena, TJsonValue* const* elements, std::size_t count) {
  TJsonValue* v = TJsonValue::Allocate(arena, TJsonKind::Array,
                                       sizeof(TJsonArray) + count * sizeof(IJsonValue));
  auto* slots = reinterpret_cast<IJsonValue*>(static_cast<char*>(v->Extra()) + sizeof(TJsonArray));
  for (std::size_t i = 0; i < count; ++i)
    new (slots + i) IJsonValue(elements[i]);
  v->payload_.array = new (v->Extra()) TJsonArray(slots, static_cast<int32_t>(count));
  return v;
}

namespace {

// Room for an object value with its table and `entries` entries right behind it.
TJsonAvlEntry* EntriesOf(TJsonValue* v) {
  return reinterpret_cast<TJsonAvlEntry*>(static_cast<char*>(static_cast<void*>(v + 1)) +
                                          sizeof(TJsonMemberTable));
}

}  // namespace

TJsonValue* TJsonBuild::ObjectValue(TJsonArena* arena, std::size_t entries) {
  return TJsonValue::Allocate(arena, TJsonKind::Object,
                              sizeof(TJsonMemberTable) + entries * sizeof(TJsonAvlEntry));
}

TJsonValue* TJsonBuild::Object(TJsonArena* arena, TJsonPendingMember* members, std::size_t count,
                               TJsonObjectLayout* layout) {
  if (!layout || count > TJsonObjectLayout::kMaxMembers) return LargeObject(arena, members, count);
  // Sort the members' indexes, stably, so that of members with the same name the one read last
  // comes last; it alone stays, in the place of the name.
  uint8_t order[TJsonObjectLayout::kMaxMembers];
  for (std::size_t i = 0; i < count; ++i) {
    std::size_t j = i;
    for (; j > 0 && Lesser(members[i], members[order[j - 1]]); --j)
      order[j] = order[j - 1];
    order[j] = static_cast<uint8_t>(i);
  }
  std::size_t unique = 0;
  for (std::size_t i = 0; i < count; ++i) {
    if (unique > 0 && SameName(members[order[unique - 1]], members[order[i]])) {
      order[unique - 1] = order[i];
    } else {
      order[unique++] = order[i];
    }
  }
  layout->count = static_cast<uint8_t>(count);
  layout->unique = static_cast<uint8_t>(unique);
  std::copy(order, order + unique, layout->kept);
  TJsonAvlEntry links[TJsonObjectLayout::kMaxMembers];
  layout->root = static_cast<int8_t>(LinkInOrder(links, static_cast<int32_t>(unique)));
  for (std::size_t i = 0; i < unique; ++i) {
    layout->lesser[i] = static_cast<int8_t>(links[i].lesser);
    layout->greater[i] = static_cast<int8_t>(links[i].greater);
    layout->balance[i] = static_cast<int8_t>(links[i].balance);
  }
  return Object(arena, members, *layout);
}

TJsonValue* TJsonBuild::Object(TJsonArena* arena, const TJsonPendingMember* members,
                               const TJsonObjectLayout& layout) {
  // Members left out of the table are the earlier ones of a repeated name.
  if (layout.unique < layout.count) {
    bool kept[TJsonObjectLayout::kMaxMembers] = {};
    for (std::size_t i = 0; i < layout.unique; ++i)
      kept[layout.kept[i]] = true;
    for (std::size_t i = 0; i < layout.count; ++i)
      if (!kept[i]) Release(members[i].value);
  }
  TJsonValue* v = ObjectValue(arena, layout.unique);
  TJsonAvlEntry* entries = EntriesOf(v);
  for (std::size_t i = 0; i < layout.unique; ++i) {
    const TJsonPendingMember& m = members[layout.kept[i]];
    new (entries + i)
        TJsonAvlEntry{layout.greater[i],  layout.lesser[i], layout.balance[i], m.hash, m.name,
                      IJsonValue(m.value)};
  }
  v->payload_.members = new (v->Extra()) TJsonMemberTable(entries, layout.unique, layout.root);
  return v;
}

TJsonValue* TJsonBuild::LargeObject(TJsonArena* arena, TJsonPendingMember* members,
                                    std::size_t count) {
  std::stable_sort(members, members + count, Lesser);
  std::size_t unique = 0;
  for (std::size_t i = 0; i < count; ++i) {
    if (unique > 0 && SameName(members[unique - 1], members[i])) {
      Release(std::exchange(members[unique - 1].value, members[i].value));
    } else {
      members[unique++] = members[i];
    }
  }
  TJsonValue* v = ObjectValue(arena, unique);
  TJsonAvlEntry* entries = EntriesOf(v);
  for (std::size_t i = 0; i < unique; ++i) {
    const TJsonPendingMember& m = members[i];
    new (entries + i) TJsonAvlEntry{-1, -1, 0, m.hash, m.name, IJsonValue(m.value)};
  }
  const int32_t n = static_cast<int32_t>(unique);
  v->payload_.members = new (v->Extra()) TJsonMemberTable(entries, n, LinkInOrder(entries, n));
  return v;
}

const TJsonName* TJsonBuild::Name(TJsonArena* arena, std::u16string_view name) {
  void* at = arena->Allocate(sizeof(TJsonName) + name.size() * sizeof(char16_t));
  TJsonName* stored = new (at) TJsonName{name.size()};
  if (!name.empty()) std::memcpy(stored + 1, name.data(), name.size() * sizeof(char16_t));
  return stored;
}

}  // namespace qelo::json
