// Shared, reference-counted JSON values and the handles that reach them.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
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
class IJsonValue;

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

  // Takes over a value nobody refers to yet.
  static IJsonValue Adopt(std::unique_ptr<TJsonValue> value);

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
  TJsonValue* value_ = nullptr;
};

class TJsonValue {
 public:
  ~TJsonValue();
  TJsonValue(const TJsonValue&) = delete;
  TJsonValue& operator=(const TJsonValue&) = delete;

  TJsonKind Kind() const { return kind_; }
  int32_t RefCount() const { return refs_.load(std::memory_order_relaxed); }

  bool BooleanValue() const { return payload_.boolean != 0; }
  double DoubleValue() const { return payload_.real; }
  int64_t FixedValue() const { return payload_.integer; }
  int64_t IntegerValue() const { return payload_.integer; }
  const std::u16string& Text() const { return text_; }
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
  friend IJsonValue NewNullValue();
  friend IJsonValue NewBooleanValue(bool);
  friend IJsonValue NewDoubleValue(double);
  friend IJsonValue NewFixedValue(int64_t);
  friend IJsonValue NewIntegerValue(int64_t);
  friend IJsonValue NewStringValue(std::u16string);
  friend IJsonValue NewArrayValue();
  friend IJsonValue NewObjectValue();
  friend IJsonValue NewMethodValue(TJsonMethod);

  explicit TJsonValue(TJsonKind kind);
  void AddRef() { refs_.fetch_add(1, std::memory_order_relaxed); }
  // True when this dropped the last reference.
  bool DropRef() { return refs_.fetch_sub(1, std::memory_order_acq_rel) == 1; }
  // Destroys an unreferenced value and everything only it kept alive, without recursion.
  static void DestroyUnreferenced(TJsonValue* value);

  std::atomic<int32_t> refs_{0};
  bool being_written_ = false;
  TJsonKind kind_;
  void* user_data_ = nullptr;
  // By kind; the element list, member table or method is owned by the value and goes with it.
  union {
    uint8_t boolean;
    double real;
    int64_t integer;
    TJsonArray* array;
    TJsonMemberTable* members;
    TJsonMethod* method;
  } payload_{.integer = 0};
  std::u16string text_;
};

IJsonValue NewNullValue();
IJsonValue NewBooleanValue(bool value);
IJsonValue NewDoubleValue(double value);
// value counts ten-thousandths.
IJsonValue NewFixedValue(int64_t value);
IJsonValue NewIntegerValue(int64_t value);
IJsonValue NewStringValue(std::u16string text);
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
