// The growing UTF-16 buffer that the text form writes into and the parser collects tokens in.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

namespace qelo::json {

class TJsonTextBuffer {
 public:
  static constexpr std::size_t kInitialCapacity = 32;

  TJsonTextBuffer() = default;
  TJsonTextBuffer(const TJsonTextBuffer&) = delete;
  TJsonTextBuffer& operator=(const TJsonTextBuffer&) = delete;

  // Appends units; a unit 0 always follows the last unit afterwards.
  void Append(std::u16string_view units);
  void Append(char16_t unit) {
    if (length_ + 1 >= capacity_) Grow(1);
    units_[length_++] = unit;
    units_[length_] = 0;
  }
  void Append(std::string_view ascii);
  // Drops the last unit (no effect on an empty buffer).
  void RemoveLast() {
    if (length_ > 0) units_[--length_] = 0;
  }
  void Clear() {
    length_ = 0;
    units_[0] = 0;
  }

  std::size_t Length() const { return length_; }
  std::size_t Capacity() const { return capacity_; }
  char16_t At(std::size_t i) const { return units_[i]; }
  // All units, units 0 included.
  std::u16string_view View() const { return {units_, length_}; }
  // The units before the first unit 0.
  std::u16string_view UpToZero() const;
  std::u16string Text() const { return std::u16string(View()); }
  // Removes trailing units 10, 13 and 32.
  void TrimRightLineBlanks();

 private:
  // Makes room for n more units and the unit 0 after them.
  void Grow(std::size_t n);

  // The first 32 units live inside the buffer; larger texts move to the heap.
  char16_t inline_[kInitialCapacity] = {};
  std::unique_ptr<char16_t[]> heap_;
  char16_t* units_ = inline_;
  std::size_t capacity_ = kInitialCapacity;
  std::size_t length_ = 0;
};

}  // namespace qelo::json
