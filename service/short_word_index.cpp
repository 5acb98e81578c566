#include "short_word_index.h"

#include <algorithm>
#include <cstddef>

namespace qelo::service {

std::string FoldAscii(std::string_view s) {
  std::string out(s);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
  }
  return out;
}

std::vector<std::string_view> Utf8Chars(std::string_view s) {
  std::vector<std::string_view> chars;
  size_t i = 0;
  while (i < s.size()) {
    size_t n = 1;
    while (i + n < s.size() && (static_cast<unsigned char>(s[i + n]) & 0xC0) == 0x80 &&
           (static_cast<unsigned char>(s[i]) & 0xC0) == 0xC0 && n < 4) {
      ++n;
    }
    chars.push_back(s.substr(i, n));
    i += n;
  }
  return chars;
}

void ShortWordIndex::Add(int64_t rank_pos, std::string_view utf8_name) {
  const std::string folded = FoldAscii(utf8_name);
  const auto chars = Utf8Chars(folded);
  const auto pos = static_cast<uint32_t>(rank_pos);
  auto post = [&](std::string_view piece) {
    auto& list = postings_[std::string(piece)];
    if (list.empty() || list.back() != pos) list.push_back(pos);
  };
  for (size_t i = 0; i < chars.size(); ++i) {
    post(chars[i]);
    if (i + 1 < chars.size()) {
      post(std::string_view(chars[i].data(), chars[i].size() + chars[i + 1].size()));
    }
  }
}

bool ShortWordIndex::Handles(std::string_view utf8_word) {
  const size_t n = Utf8Chars(utf8_word).size();
  return n == 1 || n == 2;
}

std::vector<int64_t> ShortWordIndex::Find(std::string_view utf8_word, size_t limit) const {
  if (!Handles(utf8_word)) return {};
  const auto it = postings_.find(FoldAscii(utf8_word));
  if (it == postings_.end()) return {};
  const auto& list = it->second;
  return {list.begin(), list.begin() + static_cast<ptrdiff_t>(std::min(limit, list.size()))};
}

}  // namespace qelo::service
