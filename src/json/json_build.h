// Making values: the New...Value calls and the reader build every value through these. Each
// call returns one reference to a new value, which the caller owns; with an arena, the value and
// everything it owns are carved out of it (the caller's thread must be the arena's creator).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <new>
#include <string_view>

#include "json/json_arena.h"
#include "json/json_member_table.h"
#include "json/json_value.h"

namespace qelo::json {

// A member the reader has read but not yet placed into its object's table.
struct TJsonPendingMember {
  uint32_t hash;
  const TJsonName* name;
  TJsonValue* value;  // one owned reference
};

// How the table of an object of at most kMaxMembers members was laid out: which member read
// went to which entry, and the links. An object whose names repeat those of another, in the
// same order, gets the same layout.
struct TJsonObjectLayout {
  static constexpr std::size_t kMaxMembers = 32;
  uint8_t count = 0;          // members read
  uint8_t unique = 0;         // entries: members of the same name leave one entry
  uint8_t kept[kMaxMembers];  // for each entry, the member it holds
  int8_t lesser[kMaxMembers];
  int8_t greater[kMaxMembers];
  int8_t balance[kMaxMembers];
  int8_t root = -1;
};

struct TJsonBuild {
  static TJsonValue* Null(TJsonArena* arena);
  static TJsonValue* Boolean(TJsonArena* arena, bool value);
  static TJsonValue* Double(TJsonArena* arena, double value);
  static TJsonValue* Fixed(TJsonArena* arena, int64_t value);
  static TJsonValue* Integer(TJsonArena* arena, int64_t value);
  static TJsonValue* String(TJsonArena* arena, std::u16string_view text);
  static TJsonValue* EmptyArray();
  static TJsonValue* EmptyObject();
  static TJsonValue* Method(TJsonMethod method);
  // An array holding `count` elements; takes over the references.
  static TJsonValue* Array(TJsonArena* arena, TJsonValue* const* elements, std::size_t count);
  // An object of the members in the order read: a later member of a name replaces an earlier
  // one. Takes over the references; may reorder `members`. The names must live in the arena.
  // With layout, an object of at most kMaxMembers members also records its layout there.
  static TJsonValue* Object(TJsonArena* arena, TJsonPendingMember* members, std::size_t count,
                            TJsonObjectLayout* layout = nullptr);
  // An object laid out as another whose members had the same names in the same order.
  static TJsonValue* Object(TJsonArena* arena, const TJsonPendingMember* members,
                            const TJsonObjectLayout& layout);
  // A string value with room for `capacity` units that the caller fills, in the arena, then
  // cuts to the units written with CloseString.
  static TJsonValue* OpenString(TJsonArena* arena, std::size_t capacity, char16_t** units);
  static void CloseString(TJsonArena* arena, TJsonValue* value, std::size_t capacity,
                          std::size_t length);
  // A name in the arena.
  static const TJsonName* Name(TJsonArena* arena, std::u16string_view name);

  static TJsonValue* Scalar(TJsonArena* arena, TJsonKind kind);
  static TJsonValue* ObjectValue(TJsonArena* arena, std::size_t entries);
  static TJsonValue* LargeObject(TJsonArena* arena, TJsonPendingMember* members, std::size_t count);
  // Drops an owned reference.
  static void Release(TJsonValue* owned) { IJsonValue released(owned); }
  // A handle that takes over an owned reference.
  static IJsonValue Handle(TJsonValue* owned) { return IJsonValue(owned); }
};

// Made inline here, where the reader builds its values, as most values are small.
inline TJsonValue* TJsonValue::Allocate(TJsonArena* arena, TJsonKind kind, std::size_t extra) {
  const std::size_t bytes = sizeof(TJsonValue) + extra;
  void* at;
  if (arena) {
    at = arena->Allocate(bytes);
    arena->CountValue();
  } else {
    at = ::operator new(bytes);
  }
  TJsonValue* value = new (at) TJsonValue(arena, kind);
  value->refs_.store(1, std::memory_order_relaxed);
  return value;
}

inline TJsonValue* TJsonBuild::Scalar(TJsonArena* arena, TJsonKind kind) {
  return TJsonValue::Allocate(arena, kind, 0);
}

inline TJsonValue* TJsonBuild::Integer(TJsonArena* arena, int64_t value) {
  TJsonValue* v = Scalar(arena, TJsonKind::Integer);
  v->payload_.integer = value;
  return v;
}

inline TJsonValue* TJsonBuild::String(TJsonArena* arena, std::u16string_view text) {
  TJsonValue* v = TJsonValue::Allocate(arena, TJsonKind::String, text.size() * sizeof(char16_t));
  v->payload_.length = text.size();
  if (!text.empty()) std::memcpy(v->Extra(), text.data(), text.size() * sizeof(char16_t));
  return v;
}

}  // namespace qelo::json
