#include "json/json_value.h"

#include <vector>

#include "json/json_array.h"
#include "json/json_member_table.h"

namespace qelo::json {

IJsonValue::IJsonValue(const IJsonValue& other) : value_(other.value_) {
  if (value_) value_->AddRef();
}

IJsonValue& IJsonValue::operator=(const IJsonValue& other) {
  if (other.value_) other.value_->AddRef();
  Reset();
  value_ = other.value_;
  return *this;
}

IJsonValue& IJsonValue::operator=(IJsonValue&& other) noexcept {
  if (this != &other) {
    Reset();
    value_ = std::exchange(other.value_, nullptr);
  }
  return *this;
}

IJsonValue IJsonValue::Adopt(std::unique_ptr<TJsonValue> value) {
  IJsonValue handle;
  handle.value_ = value.release();
  handle.value_->AddRef();
  return handle;
}

void IJsonValue::Reset() {
  TJsonValue* value = std::exchange(value_, nullptr);
  if (value && value->DropRef()) TJsonValue::DestroyUnreferenced(value);
}

TJsonValue::TJsonValue(TJsonKind kind) : kind_(kind) {}

namespace {

// Takes back what a value's payload owns.
template <class T>
void Dispose(T* owned) {
  std::unique_ptr<T> last_owner(owned);
}

}  // namespace

TJsonValue::~TJsonValue() {
  switch (kind_) {
    case TJsonKind::Array:
      Dispose(payload_.array);
      break;
    case TJsonKind::Object:
      Dispose(payload_.members);
      break;
    case TJsonKind::Method:
      Dispose(payload_.method);
      break;
    default:
      break;
  }
}

// Containers hand their references over to a work list instead of releasing them, so a chain
// of nested values of any depth is torn down in a loop rather than by nested destructor calls.
void TJsonValue::DestroyUnreferenced(TJsonValue* value) {
  if (!value->Array() && !value->Members()) {
    std::unique_ptr<TJsonValue> owner(value);
    return;
  }
  std::vector<TJsonValue*> pending{value};
  std::vector<TJsonValue*> children;
  while (!pending.empty()) {
    std::unique_ptr<TJsonValue> owner(pending.back());
    pending.pop_back();
    children.clear();
    if (TJsonArray* list = owner->Array()) list->DetachValues(children);
    if (TJsonMemberTable* table = owner->Members()) table->DetachValues(children);
    for (TJsonValue* child : children) {
      if (child->DropRef()) pending.push_back(child);
    }
  }
}

IJsonValue NewNullValue() {
  return IJsonValue::Adopt(std::unique_ptr<TJsonValue>(new TJsonValue(TJsonKind::Null)));
}

IJsonValue NewBooleanValue(bool value) {
  std::unique_ptr<TJsonValue> v(new TJsonValue(TJsonKind::Boolean));
  v->payload_.boolean = value ? 1 : 0;
  return IJsonValue::Adopt(std::move(v));
}

IJsonValue NewDoubleValue(double value) {
  std::unique_ptr<TJsonValue> v(new TJsonValue(TJsonKind::Double));
  v->payload_.real = value;
  return IJsonValue::Adopt(std::move(v));
}

IJsonValue NewFixedValue(int64_t value) {
  std::unique_ptr<TJsonValue> v(new TJsonValue(TJsonKind::FixedPoint));
  v->payload_.integer = value;
  return IJsonValue::Adopt(std::move(v));
}

IJsonValue NewIntegerValue(int64_t value) {
  std::unique_ptr<TJsonValue> v(new TJsonValue(TJsonKind::Integer));
  v->payload_.integer = value;
  return IJsonValue::Adopt(std::move(v));
}

IJsonValue NewStringValue(std::u16string text) {
  std::unique_ptr<TJsonValue> v(new TJsonValue(TJsonKind::String));
  v->text_ = std::move(text);
  return IJsonValue::Adopt(std::move(v));
}

IJsonValue NewArrayValue() {
  std::unique_ptr<TJsonValue> v(new TJsonValue(TJsonKind::Array));
  v->payload_.array = std::make_unique<TJsonArray>().release();
  return IJsonValue::Adopt(std::move(v));
}

IJsonValue NewObjectValue() {
  std::unique_ptr<TJsonValue> v(new TJsonValue(TJsonKind::Object));
  v->payload_.members = std::make_unique<TJsonMemberTable>().release();
  return IJsonValue::Adopt(std::move(v));
}

IJsonValue NewMethodValue(TJsonMethod method) {
  std::unique_ptr<TJsonValue> v(new TJsonValue(TJsonKind::Method));
  v->payload_.method = std::make_unique<TJsonMethod>(std::move(method)).release();
  return IJsonValue::Adopt(std::move(v));
}

TJsonKind KindOf(const IJsonValue& value) {
  return value ? value->Kind() : TJsonKind::Null;
}

TJsonArray* ArrayOf(const IJsonValue& value) {
  return value ? value->Array() : nullptr;
}

TJsonMemberTable* ObjectOf(const IJsonValue& value) {
  return value ? value->Members() : nullptr;
}

}  // namespace qelo::json
