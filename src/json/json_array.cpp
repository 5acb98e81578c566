#include "json/json_array.h"

#include <algorithm>
#include <limits>
#include <stdexcept>

namespace qelo::json {

namespace {

// The capacity that appending `length` elements one by one to a new list leaves.
int32_t CapacityFor(int32_t length) {
  int64_t capacity = TJsonArray::kInitialCapacity;
  while (capacity < length)
    capacity *= 2;
  return static_cast<int32_t>(std::min<int64_t>(capacity, std::numeric_limits<int32_t>::max()));
}

}  // namespace

TJsonArray::TJsonArray(IJsonValue* slots, int32_t length)
    : slots_(slots), length_(length), capacity_(CapacityFor(length)), storage_(length) {}

// The slots in an arena were handed over by HandOverEach; those on the heap are absent by now.
TJsonArray::~TJsonArray() = default;

IJsonValue TJsonArray::At(int32_t index) const {
  if (index < 0 || index >= length_) return {};
  return slots_[static_cast<std::size_t>(index)];
}

// Storing at an index not below the capacity raises it to max(2 * capacity, index + 1).
void TJsonArray::Reserve(int32_t index) {
  if (index >= capacity_) {
    const int64_t wanted = std::max<int64_t>(int64_t{capacity_} * 2, int64_t{index} + 1);
    capacity_ =
        static_cast<int32_t>(std::min<int64_t>(wanted, std::numeric_limits<int32_t>::max()));
  }
  if (index < storage_) return;
  auto slots = std::make_unique<IJsonValue[]>(static_cast<std::size_t>(capacity_));
  std::move(slots_, slots_ + length_, slots.get());
  if (!owned_) std::destroy_n(slots_, storage_);
  owned_ = std::move(slots);
  slots_ = owned_.get();
  storage_ = capacity_;
}

int32_t TJsonArray::Append(IJsonValue value) {
  if (length_ == std::numeric_limits<int32_t>::max()) throw std::length_error("array too long");
  const int32_t index = length_;
  Put(index, std::move(value));
  return index;
}

bool TJsonArray::Put(int32_t index, IJsonValue value) {
  // length becomes index + 1, which must stay a signed 32-bit number.
  if (index < 0 || index == std::numeric_limits<int32_t>::max()) return false;
  TJsonValue::ContainerChanged(this);
  Reserve(index);
  slots_[static_cast<std::size_t>(index)] = std::move(value);
  if (index >= length_) length_ = index + 1;
  return true;
}

int32_t ElementCount(const TJsonArray* list) {
  return list ? list->Length() : 0;
}

IJsonValue ElementAt(const TJsonArray* list, int32_t index) {
  return list ? list->At(index) : IJsonValue{};
}

int32_t AppendElement(TJsonArray* list, IJsonValue value) {
  return list ? list->Append(std::move(value)) : -1;
}

void PutElement(TJsonArray* list, int32_t index, IJsonValue value) {
  if (list) list->Put(index, std::move(value));
}

}  // namespace qelo::json
