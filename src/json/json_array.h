// The element list of an array value.
#pragma once

#include <cstdint>
#include <memory>

#include "json/json_value.h"

namespace qelo::json {

class TJsonArray {
 public:
  static constexpr int32_t kInitialCapacity = 32;

  TJsonArray(const TJsonArray&) = delete;
  TJsonArray& operator=(const TJsonArray&) = delete;
  ~TJsonArray();

  int32_t Length() const { return length_; }
  // The capacity by the growth rule: 32, doubled (or raised to index + 1) as stores need.
  int32_t Capacity() const { return capacity_; }
  // The element at index; absent outside 0 .. length - 1 (a slot itself may be absent).
  IJsonValue At(int32_t index) const;
  const IJsonValue* Slot(int32_t index) const { return &slots_[static_cast<std::size_t>(index)]; }
  // Stores at index length and returns that index.
  int32_t Append(IJsonValue value);
  // Stores at index, growing as needed; a negative index or 2^31 - 1 is refused (false).
  bool Put(int32_t index, IJsonValue value);
  // For the value teardown: hands every held reference to take(TJsonValue*); the list is
  // destroyed right after and does not release them again.
  template <class Take>
  void HandOverEach(Take&& take) {
    for (int32_t i = 0; i < length_; ++i) {
      IJsonValue& slot = slots_[static_cast<std::size_t>(i)];
      // Slots in the arena are not cleared: nothing reads them again.
      if (TJsonValue* v = owned_ ? slot.Detach() : slot.get()) take(v);
    }
  }

 private:
  friend struct TJsonBuild;
  // Made only behind the value that owns it (TJsonValue::ContainerChanged relies on it).
  TJsonArray() = default;
  // A list over `length` elements that the reader placed right behind it in its arena.
  TJsonArray(IJsonValue* slots, int32_t length);
  void Reserve(int32_t index);

  // storage_ slots: those of owned_, or, for a list the reader made, ones in its arena. The
  // storage may be smaller than the capacity; a store beyond it moves the slots to the heap.
  IJsonValue* slots_ = nullptr;
  int32_t length_ = 0;
  int32_t capacity_ = kInitialCapacity;
  int32_t storage_ = 0;
  std::unique_ptr<IJsonValue[]> owned_;
};

// The free functions accept the nothing that ArrayOf gives for other kinds: a count of 0, an
// absent element, and appending (-1) or storing has no effect.
int32_t ElementCount(const TJsonArray* list);
IJsonValue ElementAt(const TJsonArray* list, int32_t index);
int32_t AppendElement(TJsonArray* list, IJsonValue value);
void PutElement(TJsonArray* list, int32_t index, IJsonValue value);

}  // namespace qelo::json
