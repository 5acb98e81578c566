// Shared, reference-counted JSON values and the handles that reach them.
//
// A value is allocated on its own (the New...Value calls) or carved out of the arena of the
// document the reader made it for (json_arena.h). Either way it lives exactly as long as
// handles to it exist; an arena value also keeps its arena's blocks, so a handle to a member
// of a document stays valid after the document's root is gone.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <utility>

namespace qelo::json {

// Every value has exactly one kind; the order is part of the model.
enum class TJsonKind : uint8_t {
  Null,
  Boolean,
  Double,
  FixedPoint,  // signed count of ten-thousandths: 12.5 is held as 125000
  Integer,
  Object,
  Array,
  String,
  Method,
};

class TJsonValue;
class TJsonArray;
class TJsonMemberTable;
class TJsonArena;
class IJsonValue;
struct TJsonBuild;

// A callable supplied by a program; the text form skips it.
using TJsonMethod = std::function<IJsonValue(const IJsonValue& argument)>;

// A handle: refers to one value (holding one reference) or is absent. An absent handle is not
// a null value.
class IJsonValue {
 public:
  IJsonValue() = default;
  IJsonValue(const IJsonValue& other);
  IJsonValue(IJsonValue&& other) noexcept : value_(std::exchange(other.value_, nullptr)) {}
  IJsonValue& operator=(const IJsonValue& other);
  IJsonValue& operator=(IJsonValue&& other) noexcept;
  ~IJsonValue() { Reset(); }

  explicit operator bool() const { return value_ != nullptr; }
  bool Absent() const { return value_ == nullptr; }
  TJsonValue* get() const { return value_; }
  TJsonValue* operator->() const { return value_; }
  TJsonValue& operator*() const { return *value_; }
  void Reset();
  // Gives up the reference without releasing it (used by the value teardown).
  TJsonValue* Detach() { return std::exchange(value_, nullptr); }

  friend bool operator==(const IJsonValue& a, const IJsonValue& b) { return a.value_ == b.value_; }

 private:
  friend class TJsonValue;
  friend struct TJsonBuild;
  // Takes over a reference the caller holds.
  explicit IJsonValue(TJsonValue* owned) : value_(owned) {}

  TJsonValue* value_ = nullptr;
};

class TJsonValue {
 public:
  TJsonValue(const TJsonValue&) = delete;
  TJsonValue& operator=(const TJsonValue&) = delete;

  TJsonKind Kind() const { return kind_; }
  int32_t RefCount() const { return refs_.load(std::memory_order_relaxed); }

  bool BooleanValue() const { return payload_.boolean != 0; }
  double DoubleValue() const { return payload_.real; }
  int64_t FixedValue() const { return payload_.integer; }
  int64_t IntegerValue() const { return payload_.integer; }
  // The payload of a string value (units 0 included); empty for the other kinds.
  std::u16string_view Text() const {
    if (kind_ != TJsonKind::String) return {};
    return {reinterpret_cast<const char16_t*>(this + 1), payload_.length};
  }
  TJsonArray* Array() const { return kind_ == TJsonKind::Array ? payload_.array : nullptr; }
  TJsonMemberTable* Members() const {
    return kind_ == TJsonKind::Object ? payload_.members : nullptr;
  }
  const TJsonMethod* Method() const {
    return kind_ == TJsonKind::Method ? payload_.method : nullptr;
  }

  // Set while the text form writes this value; guards against cycles.
  bool BeingWritten() const { return being_written_; }
  void SetBeingWritten(bool on) { being_written_ = on; }

  // Carried for programs, never interpreted.
  void* UserData() const { return user_data_; }
  void SetUserData(void* data) { user_data_ = data; }

 private:
  friend class IJsonValue;
  friend struct TJsonBuild;

  // Values are made only by TJsonBuild, with `extra` bytes after the value for the text of a
  // string or the element list, member table or method that the value owns.
  static TJsonValue* Allocate(TJsonArena* arena, TJsonKind kind, std::size_t extra);
  TJsonValue(TJsonArena* arena, TJsonKind kind) : kind_(kind), arena_(arena) {}
  ~TJsonValue() = default;
  void* Extra() { return this + 1; }

  void AddRef() {
    refs_.fetch_add(1, std::memory_order_relaxed);
    if (arena_) MarkArenaShared();
  }
  void MarkArenaShared() const;
  // True when this dropped the last reference.
  bool DropRef() {
    // The only reference is the caller's: nobody else can take one while it is dropped.
    if (refs_.load(std::memory_order_acquire) == 1) {
      refs_.store(0, std::memory_order_relaxed);
      return true;
    }
    return refs_.fetch_sub(1, std::memory_order_acq_rel) == 1;
  }
  // Destroys an unreferenced value and everything only it kept alive, without recursion.
  static void DestroyUnreferenced(TJsonValue* value);

 public:
  // For TJsonArray and TJsonMemberTable: `container`, which always sits right behind the value
  // that owns it (Extra), was changed.
  static void ContainerChanged(const void* container);

 private:
  // Ends the lifetime of what the value owns (its children already detached); the memory goes
  // back to the heap, or is counted off its arena by the caller.
  void DisposeOwned();

  std::atomic<int32_t> refs_{0};
  bool being_written_ = false;
  TJsonKind kind_;
  TJsonArena* arena_;  // nullptr for a value allocated on its own
  void* user_data_ = nullptr;
  // By kind; a string's units, and the element list, member table or method a value owns,
  // follow the value in the same allocation.
  union {
    uint8_t boolean;
    double real;
    int64_t integer;
    std::size_t length;  // of a string's text
    TJsonArray* array;
    TJsonMemberTable* members;
    TJsonMethod* method;
  } payload_{.integer = 0};
};

IJsonValue NewNullValue();
IJsonValue NewBooleanValue(bool value);
IJsonValue NewDoubleValue(double value);
// value counts ten-thousandths.
IJsonValue NewFixedValue(int64_t value);
IJsonValue NewIntegerValue(int64_t value);
IJsonValue NewStringValue(std::u16string_view text);
IJsonValue NewArrayValue();
IJsonValue NewObjectValue();
IJsonValue NewMethodValue(TJsonMethod method);

// The value's kind; null for an absent handle.
TJsonKind KindOf(const IJsonValue& value);
// The element list of an array value, otherwise nullptr.
TJsonArray* ArrayOf(const IJsonValue& value);
// The member table of an object value, otherwise nullptr.
TJsonMemberTable* ObjectOf(const IJsonValue& value);

}  // namespace qelo::json
