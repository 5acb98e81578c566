// An in-memory index of every one- and two-character piece of every file name, for words too
// short for the trigram index. Each piece maps to the files holding it in ranking order, so a
// short word is answered without scanning. ASCII letters are folded to lower case. The files
// table does not change while the service runs, so the index is built once.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace qelo::service {

class ShortWordIndex {
 public:
  // Adds one name; rows must be added in ranking order.
  void Add(int64_t rank_pos, std::string_view utf8_name);

  // True for a word of one or two UTF-8 characters, which Find answers.
  static bool Handles(std::string_view utf8_word);
  // rank_pos of the first `limit` names holding `word`, ASCII letters compared without case.
  std::vector<int64_t> Find(std::string_view utf8_word, size_t limit) const;

 private:
  // 32-bit positions keep the postings of a large index at half the size.
  std::unordered_map<std::string, std::vector<uint32_t>> postings_;
};

// The UTF-8 characters of `s` (a byte that starts no valid sequence counts as one character).
std::vector<std::string_view> Utf8Chars(std::string_view s);
std::string FoldAscii(std::string_view s);

}  // namespace qelo::service
