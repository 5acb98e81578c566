// The element list of an array value.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "json/json_value.h"

namespace qelo::json {

class TJsonArray {
 public:
  static constexpr int32_t kInitialCapacity = 32;

  int32_t Length() const { return length_; }
  int32_t Capacity() const { return capacity_; }
  // The element at index; absent outside 0 .. length - 1 (a slot itself may be absent).
  IJsonValue At(int32_t index) const;
  const IJsonValue* Slot(int32_t index) const { return &slots_[static_cast<std::size_t>(index)]; }
  // Stores at index length and returns that index.
  int32_t Append(IJsonValue value);
  // Stores at index, growing as needed; a negative index or 2^31 - 1 is refused (false).
  bool Put(int32_t index, IJsonValue value);
  // Moves every held reference into out, leaving the slots absent.
  void DetachValues(std::vector<TJsonValue*>& out);

 private:
  void Reserve(int32_t index);

  // Storage follows capacity_, allocated on the first store.
  std::unique_ptr<IJsonValue[]> slots_;
  int32_t length_ = 0;
  int32_t capacity_ = kInitialCapacity;
};

// The free functions accept the nothing that ArrayOf gives for other kinds: a count of 0, an
// absent element, and appending (-1) or storing has no effect.
int32_t ElementCount(const TJsonArray* list);
IJsonValue ElementAt(const TJsonArray* list, int32_t index);
int32_t AppendElement(TJsonArray* list, IJsonValue value);
void PutElement(TJsonArray* list, int32_t index, IJsonValue value);

}  // namespace qelo::json
