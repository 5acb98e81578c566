#include "skin/skin_text.h"

#include <cstring>
#include <limits>

#include "skin/skin_errors.h"
#include "text/ascii_text.h"

namespace qelo::skin {

std::optional<int> ParseSkinInteger(std::string_view text) {
  text = text::Trim(text);
  bool negative = false;
  if (!text.empty() && (text[0] == '-' || text[0] == '+')) {
    negative = text[0] == '-';
    text.remove_prefix(1);
  }
  int base = 10;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    base = 16;
    text.remove_prefix(2);
  } else if (text.size() > 1 && text[0] == '$') {
    base = 16;
    text.remove_prefix(1);
  }
  if (text.empty()) return std::nullopt;
  int64_t value = 0;
  for (char c : text) {
    int digit;
    if (c >= '0' && c <= '9')
      digit = c - '0';
    else if (base == 16 && c >= 'a' && c <= 'f')
      digit = c - 'a' + 10;
    else if (base == 16 && c >= 'A' && c <= 'F')
      digit = c - 'A' + 10;
    else
      return std::nullopt;
    value = value * base + digit;
    // Hexadecimal may fill all 32 bits (colours); decimal must fit a signed integer.
    if (value > (base == 16 ? int64_t{0xFFFFFFFF} : int64_t{1} << 31)) return std::nullopt;
  }
  if (negative) value = -value;
  if (base == 16 && !negative) return static_cast<int>(static_cast<uint32_t>(value));
  if (value < std::numeric_limits<int>::min() || value > std::numeric_limits<int>::max())
    return std::nullopt;
  return static_cast<int>(value);
}

TSkinText TSkinText::Parse(std::string_view text) {
  if (const size_t zero = text.find('\0'); zero != std::string_view::npos)
    text = text.substr(0, zero);
  TSkinText out;
  TSection* current = nullptr;
  size_t keysAdded = 0;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find_first_of("\r\n", pos);
    if (end == std::string_view::npos) end = text.size();
    if (end - pos > kMaxLineBytes) throw EReadError();
    std::string_view line = text::Trim(text.substr(pos, end - pos));
    pos = end;
    if (pos < text.size()) {
      const bool crlf = text[pos] == '\r' && pos + 1 < text.size() && text[pos + 1] == '\n';
      pos += crlf ? 2 : 1;
    }

    if (line.empty() || line[0] == ';') continue;
    if (line.front() == '[' && line.back() == ']' && line.size() >= 2) {
      const std::string_view name = text::Trim(line.substr(1, line.size() - 2));
      const std::string lower = text::AsciiLower(name);
      auto [it, added] = out.index_.try_emplace(lower, out.sections_.size());
      if (added && out.sections_.size() == kMaxSections) throw EReadError();
      if (added) out.sections_.emplace_back();
      current = &out.sections_[it->second];
      *current = TSection{};  // a section named again starts afresh: the later one wins
      current->name = std::string(name);
      continue;
    }
    if (!current) continue;
    ++current->lines;
    const size_t eq = line.find('=');
    if (eq == std::string_view::npos) continue;
    const std::string key(text::Trim(line.substr(0, eq)));
    std::string value(text::Trim(line.substr(eq + 1)));
    auto [it, added] = current->index.try_emplace(text::AsciiLower(key), current->keys.size());
    if (added && ++keysAdded > kMaxKeys) throw EReadError();
    if (added)
      current->keys.emplace_back(key, std::move(value));
    else
      current->keys[it->second].second = std::move(value);
  }
  return out;
}

const TSkinText::TSection* TSkinText::Section(std::string_view name) const {
  auto it = index_.find(text::AsciiLower(name));
  return it == index_.end() ? nullptr : &sections_[it->second];
}

std::optional<std::string> TSkinText::Value(std::string_view section, std::string_view key) const {
  const TSection* s = Section(section);
  if (!s) return std::nullopt;
  auto it = s->index.find(text::AsciiLower(key));
  if (it == s->index.end()) return std::nullopt;
  return s->keys[it->second].second;
}

std::string TSkinText::ReadString(std::string_view section, std::string_view key,
                                  const std::string& def) const {
  return Value(section, key).value_or(def);
}

int TSkinText::ReadInteger(std::string_view section, std::string_view key, int def) const {
  const auto v = Value(section, key);
  if (!v) return def;
  return ParseSkinInteger(*v).value_or(def);
}

namespace {

// The numbers of a comma-separated list, each made of its digits alone.
std::vector<int> DigitFields(std::string_view text, size_t count) {
  std::vector<int> out(count, 0);
  size_t field = 0;
  int64_t value = 0;
  for (char c : text) {
    if (c == ',') {
      if (field < count) out[field] = static_cast<int>(value);
      ++field;
      value = 0;
    } else if (c >= '0' && c <= '9' && value < std::numeric_limits<int>::max() / 10) {
      value = value * 10 + (c - '0');
    }
  }
  if (field < count) out[field] = static_cast<int>(value);
  return out;
}

}  // namespace

TSkinPoint TSkinText::ReadPoint(std::string_view section, std::string_view key) const {
  const std::vector<int> f = DigitFields(ReadString(section, key), 2);
  return {f[0], f[1]};
}

TSkinRect TSkinText::ReadRect(std::string_view section, std::string_view key) const {
  const std::vector<int> f = DigitFields(ReadString(section, key), 4);
  return {f[0], f[1], f[2], f[3]};
}

bool TSkinText::ReadBool(std::string_view section, std::string_view key, bool def) const {
  return ReadInteger(section, key, def ? 1 : 0) == 1;
}

uint32_t TSkinText::ReadColor(std::string_view section, std::string_view key, uint32_t def) const {
  return static_cast<uint32_t>(ReadInteger(section, key, static_cast<int>(def)));
}

int TSkinText::ReadPictureIndex(std::string_view section, std::string_view key) const {
  return ReadInteger(section, key, -1);
}

}  // namespace qelo::skin
