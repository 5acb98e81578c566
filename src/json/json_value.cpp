#include "json/json_value.h"

#include <memory>
#include <new>
#include <vector>

#include "json/json_arena.h"
#include "json/json_array.h"
#include "json/json_build.h"
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

void IJsonValue::Reset() {
  TJsonValue* value = std::exchange(value_, nullptr);
  if (value && value->DropRef()) TJsonValue::DestroyUnreferenced(value);
}

static_assert(sizeof(TJsonValue) % 8 == 0 && alignof(TJsonValue) == 8);
static_assert(alignof(TJsonArray) <= 8 && alignof(TJsonMemberTable) <= 8 &&
              alignof(TJsonMethod) <= 8);

void TJsonValue::MarkArenaShared() const {
  arena_->MarkShared();
}

void TJsonValue::ContainerChanged(const void* container) {
  const TJsonValue* owner = static_cast<const TJsonValue*>(container) - 1;
  if (owner->arena_) owner->arena_->MarkShared();
}

void TJsonValue::DisposeOwned() {
  switch (kind_) {
    case TJsonKind::Array:
      payload_.array->~TJsonArray();
      break;
    case TJsonKind::Object:
      payload_.members->~TJsonMemberTable();
      break;
    case TJsonKind::Method:
      payload_.method->~TJsonMethod();
      break;
    default:
      break;
  }
  TJsonArena* arena = arena_;
  this->~TJsonValue();
  if (!arena) ::operator delete(this);
}

namespace {

// Gives destroyed arena values back to their arena, one count per run of the same arena
// rather than one atomic operation per value.
class ArenaReleases {
 public:
  ArenaReleases() = default;
  ArenaReleases(const ArenaReleases&) = delete;
  ArenaReleases& operator=(const ArenaReleases&) = delete;
  ~ArenaReleases() { Flush(); }

  void Add(TJsonArena* arena) {
    if (arena != arena_) {
      Flush();
      arena_ = arena;
    }
    ++count_;
  }

 private:
  void Flush() {
    if (arena_) arena_->Release(count_);
    arena_ = nullptr;
    count_ = 0;
  }

  TJsonArena* arena_ = nullptr;
  int64_t count_ = 0;
};

bool IsContainer(const TJsonValue* value) {
  return value->Kind() == TJsonKind::Array || value->Kind() == TJsonKind::Object;
}

}  // namespace

// Containers hand their references over to a work list instead of releasing them, so a chain
// of nested values of any depth is torn down in a loop rather than by nested destructor calls.
// An arena value is only counted off: its arena goes after the last of its values.
void TJsonValue::DestroyUnreferenced(TJsonValue* value) {
  if (value->arena_ && value->arena_->ReleaseWhole(value)) return;
  ArenaReleases releases;
  auto finish = [&releases](TJsonValue* v) {
    TJsonArena* arena = v->arena_;
    // Most values of a document own nothing: counting them off is all there is to do.
    if (!arena || IsContainer(v) || v->kind_ == TJsonKind::Method) v->DisposeOwned();
    if (arena) releases.Add(arena);
  };
  if (!IsContainer(value)) {
    finish(value);
    return;
  }
  std::vector<TJsonValue*> pending{value};
  auto drop = [&](TJsonValue* child) {
    if (!child->DropRef()) return;
    if (IsContainer(child)) {
      pending.push_back(child);
    } else {
      finish(child);
    }
  };
  while (!pending.empty()) {
    TJsonValue* owner = pending.back();
    pending.pop_back();
    if (TJsonArray* list = owner->Array()) list->HandOverEach(drop);
    if (TJsonMemberTable* table = owner->Members()) table->HandOverEach(drop);
    finish(owner);
  }
}

IJsonValue NewNullValue() {
  return TJsonBuild::Handle(TJsonBuild::Null(nullptr));
}

IJsonValue NewBooleanValue(bool value) {
  return TJsonBuild::Handle(TJsonBuild::Boolean(nullptr, value));
}

IJsonValue NewDoubleValue(double value) {
  return TJsonBuild::Handle(TJsonBuild::Double(nullptr, value));
}

IJsonValue NewFixedValue(int64_t value) {
  return TJsonBuild::Handle(TJsonBuild::Fixed(nullptr, value));
}

IJsonValue NewIntegerValue(int64_t value) {
  return TJsonBuild::Handle(TJsonBuild::Integer(nullptr, value));
}

IJsonValue NewStringValue(std::u16string_view text) {
  return TJsonBuild::Handle(TJsonBuild::String(nullptr, text));
}

IJsonValue NewArrayValue() {
  return TJsonBuild::Handle(TJsonBuild::EmptyArray());
}

IJsonValue NewObjectValue() {
  return TJsonBuild::Handle(TJsonBuild::EmptyObject());
}

IJsonValue NewMethodValue(TJsonMethod method) {
  return TJsonBuild::Handle(TJsonBuild::Method(std::move(method)));
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
