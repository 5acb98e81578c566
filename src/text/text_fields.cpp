#include "text/text_fields.h"

#include <vector>

namespace qelo::text {
namespace {

bool IsGbkLead(unsigned char c) {
  return c >= 0x81 && c <= 0xFE;
}

// Walks a text one GBK character at a time; a byte 0 counts as the end of the text.
class Walker {
 public:
  explicit Walker(std::string_view text) : text_(text.substr(0, text.find('\0'))) {}

  bool AtEnd() const { return pos_ >= text_.size(); }
  unsigned char Current() const { return static_cast<unsigned char>(text_[pos_]); }
  bool AtLast() const { return pos_ + 1 == text_.size(); }
  // Length in bytes of the character at the current position.
  size_t CharLength() const { return IsGbkLead(Current()) && pos_ + 1 < text_.size() ? 2 : 1; }
  std::string_view CurrentChar() const { return text_.substr(pos_, CharLength()); }
  void Advance() { pos_ += CharLength(); }
  void SkipBlanks() {
    while (!AtEnd() && Current() >= 1 && Current() <= 32)
      Advance();
  }

 private:
  std::string_view text_;
  size_t pos_ = 0;
};

std::string QuotedField(Walker& w) {
  std::string field;
  w.Advance();  // opening quote
  while (!w.AtEnd()) {
    if (w.Current() == '"') {
      w.Advance();
      if (w.AtEnd() || w.Current() != '"') break;  // closing quote
    }
    field += w.CurrentChar();
    w.Advance();
  }
  return field;
}

std::string PlainField(Walker& w, char delimiter) {
  std::string field;
  while (!w.AtEnd() && w.Current() > 32 && w.Current() != static_cast<unsigned char>(delimiter)) {
    field += w.CurrentChar();
    w.Advance();
  }
  return field;
}

}  // namespace

std::vector<std::string> SplitFields(char delimiter, std::string_view text) {
  std::vector<std::string> fields;
  Walker w(text);
  w.SkipBlanks();
  while (!w.AtEnd()) {
    fields.push_back(w.Current() == '"' ? QuotedField(w) : PlainField(w, delimiter));
    w.SkipBlanks();
    if (!w.AtEnd() && w.Current() == static_cast<unsigned char>(delimiter)) {
      if (w.AtLast()) fields.emplace_back();
      w.Advance();
      w.SkipBlanks();
    }
  }
  return fields;
}

std::string PickField(char delimiter, std::string_view text, int index) {
  if (text.empty()) return {};
  std::vector<std::string> fields = SplitFields(delimiter, text);
  if (fields.size() < 2) return std::string(text);
  if (index < 0 || static_cast<size_t>(index) >= fields.size())
    throw EListError("List index out of bounds (" + std::to_string(index) + ")");
  return std::move(fields[index]);
}

int CountOf(std::string_view text, std::string_view sub) {
  if (sub.empty()) return 0;
  size_t removed = 0;
  size_t pos = 0;
  while (pos < text.size()) {
    if (text.substr(pos, sub.size()) == sub) {
      removed += sub.size();
      pos += sub.size();
    } else {
      pos += IsGbkLead(static_cast<unsigned char>(text[pos])) && pos + 1 < text.size() ? 2 : 1;
    }
  }
  return static_cast<int>(removed);
}

}  // namespace qelo::text
