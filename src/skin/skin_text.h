// The skin text: an ini-like text of sections and "key=value" lines, and the readers of the
// value forms the skin uses (integers, points, rectangles, booleans, colours, picture indexes).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace qelo::skin {

struct TSkinPoint {
  int x = 0;
  int y = 0;
  bool operator==(const TSkinPoint&) const = default;
};

struct TSkinRect {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;
  bool operator==(const TSkinRect&) const = default;
};

class TSkinText {
 public:
  struct TSection {
    std::string name;                                       // as written in its last "[...]" line
    std::vector<std::pair<std::string, std::string>> keys;  // key as written, value; in order
    std::unordered_map<std::string, size_t> index;          // lower-case key -> keys position
    size_t lines = 0;  // every line stored, with or without "="
  };

  // Bounds far above any real skin (the built-in one has 81 sections and lines under 100
  // bytes): a text past one of them is damaged, so a hostile body cannot make the parse take
  // gigabytes and seconds.
  static constexpr size_t kMaxLineBytes = 64 * 1024;
  static constexpr size_t kMaxSections = 4096;
  static constexpr size_t kMaxKeys = 65536;  // keys added, over all sections

  // Parses text up to its end or its first zero byte. Lines end at CR, LF or CR LF and are
  // trimmed; empty lines and ";" comments are skipped; lines before the first section are
  // ignored. Names compare without letter case; a section or key named again replaces the
  // earlier one. Raises EReadError ("Stream read error") for a text past one of the bounds.
  static TSkinText Parse(std::string_view text);

  // Sections in the order their names first appeared.
  const std::vector<TSection>& Sections() const { return sections_; }
  const TSection* Section(std::string_view name) const;
  bool HasSection(std::string_view name) const { return Section(name) != nullptr; }
  std::optional<std::string> Value(std::string_view section, std::string_view key) const;

  std::string ReadString(std::string_view section, std::string_view key,
                         const std::string& def = {}) const;
  // A decimal integer, or "0x"/"$" + hexadecimal, with an optional sign; def otherwise.
  int ReadInteger(std::string_view section, std::string_view key, int def) const;
  // Two or four numbers separated by ","; only their digits count.
  TSkinPoint ReadPoint(std::string_view section, std::string_view key) const;
  TSkinRect ReadRect(std::string_view section, std::string_view key) const;
  bool ReadBool(std::string_view section, std::string_view key, bool def) const;
  // A colour in the platform's layout (red in the lowest byte); def when missing.
  uint32_t ReadColor(std::string_view section, std::string_view key, uint32_t def) const;
  // An index into the active pictures; -1 for none.
  int ReadPictureIndex(std::string_view section, std::string_view key) const;

 private:
  std::vector<TSection> sections_;
  std::unordered_map<std::string, size_t> index_;  // lower-case name -> sections_ position
};

// The integer reading rule of the skin text on its own.
std::optional<int> ParseSkinInteger(std::string_view text);

}  // namespace qelo::skin
