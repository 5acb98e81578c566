#include "json/json_array.h"

#include <algorithm>
#include <limits>
#include <stdexcept>

namespace qelo::json {

IJsonValue TJsonArray::At(int32_t index) const {
  if (index < 0 || index >= length_) return {};
  return slots_[static_cast<std::size_t>(index)];
}

// Storing at an index not below the capacity raises it to max(2 * capacity, index + 1).
void TJsonArray::Reserve(int32_t index) {
  int32_t capacity = capacity_;
  if (index >= capacity) {
    const int64_t wanted = std::max<int64_t>(int64_t{capacity} * 2, int64_t{index} + 1);
    capacity = static_cast<int32_t>(std::min<int64_t>(wanted, std::numeric_limits<int32_t>::max()));
  }
  if (slots_ && capacity == capacity_) return;
  auto slots = std::make_unique<IJsonValue[]>(static_cast<std::size_t>(capacity));
  if (slots_) std::move(slots_.get(), slots_.get() + length_, slots.get());
  slots_ = std::move(slots);
  capacity_ = capacity;
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
  Reserve(index);
  slots_[static_cast<std::size_t>(index)] = std::move(value);
  if (index >= length_) length_ = index + 1;
  return true;
}

void TJsonArray::DetachValues(std::vector<TJsonValue*>& out) {
  for (int32_t i = 0; i < length_; ++i) {
    if (TJsonValue* v = slots_[static_cast<std::size_t>(i)].Detach()) out.push_back(v);
  }
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
