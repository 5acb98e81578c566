#include "json/json_text_buffer.h"

#include <algorithm>
#include <cstring>

namespace qelo::json {

void TJsonTextBuffer::Grow(std::size_t n) {
  const std::size_t capacity = std::max(capacity_ * 2, length_ + n + 8);
  auto units = std::make_unique_for_overwrite<char16_t[]>(capacity);
  std::memcpy(units.get(), units_, (length_ + 1) * sizeof(char16_t));
  heap_ = std::move(units);
  units_ = heap_.get();
  capacity_ = capacity;
}

void TJsonTextBuffer::Append(std::u16string_view units) {
  if (units.size() >= capacity_ - length_) Grow(units.size());
  std::memcpy(units_ + length_, units.data(), units.size() * sizeof(char16_t));
  length_ += units.size();
  units_[length_] = 0;
}

void TJsonTextBuffer::Append(std::string_view ascii) {
  if (ascii.size() >= capacity_ - length_) Grow(ascii.size());
  for (char c : ascii)
    units_[length_++] = static_cast<unsigned char>(c);
  units_[length_] = 0;
}

std::u16string_view TJsonTextBuffer::UpToZero() const {
  const std::u16string_view all = View();
  return all.substr(0, std::min(all.find(u'\0'), all.size()));
}

void TJsonTextBuffer::TrimRightLineBlanks() {
  while (length_ > 0) {
    const char16_t u = units_[length_ - 1];
    if (u != 10 && u != 13 && u != 32) break;
    units_[--length_] = 0;
  }
}

}  // namespace qelo::json
