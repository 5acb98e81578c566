// The lenient reader written plainly: one state transition per UTF-16 unit, one level record per
// nesting level, values built one by one through the public value calls. The library's reader
// does the same work in bulk; the tests run both on the same texts and require equal results.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "json/json_parser.h"
#include "json/json_text_buffer.h"
#include "json/json_value.h"

namespace qelo::json::reference {

class TReferenceReader {
 public:
  static constexpr int32_t kLevels = 32;

  // Reads text up to its first unit 0 (or its end); the first complete value, or absent on an
  // error.
  IJsonValue Parse(std::u16string_view text);
  // Reads key with value as the context of level 0 (member lookup).
  IJsonValue Lookup(const IJsonValue& value, std::u16string_view key);

  TJsonError Error() const { return error_; }

 private:
  enum class State : uint8_t {
    SkipBlanks,
    ValueStart,
    ValueDone,
    NullWord,
    BooleanWord,
    QuotedText,
    Escape,
    UnicodeEscape,
    ByteEscape,
    BareWord,
    NumberText,
    CommentOpen,
    BlockComment,
    BlockCommentStar,
    LineComment,
    ArrayNext,
    ArrayAppend,
    ArrayAfter,
    MemberStart,
    QuotedName,
    BareName,
    NameColon,
    MemberDescend,
    MemberStore,
    MemberAfter,
  };
  enum class Step : uint8_t { Consume, Again, Stop };

  struct Level {
    State state = State::SkipBlanks;
    State pending = State::ValueStart;
    IJsonValue value;
    std::u16string member_name;
    IJsonValue context;
  };

  IJsonValue Run(std::u16string_view text, const IJsonValue* context);
  Step Handle(char16_t u);
  Level& LevelAt(int32_t index) {
    return index == 0 ? first_level_ : deeper_levels_[static_cast<std::size_t>(index - 1)];
  }
  const Level& LevelAt(int32_t index) const {
    return index == 0 ? first_level_ : deeper_levels_[static_cast<std::size_t>(index - 1)];
  }
  Level& Current() { return LevelAt(depth_); }
  // A container at the last level may only stay empty.
  bool AtLastLevel() const { return depth_ >= kLevels - 1; }
  void ResetLevel(Level& level);
  Step Fail(TJsonError error);
  Step Descend(State return_state);
  Step Finish();
  // Index of the first unit after the current one that keep() rejects (a unit 0 always ends).
  template <class Keep>
  std::size_t RunEnd(Keep keep) const {
    std::size_t end = offset_ + 1;
    while (end < text_.size() && text_[end] != 0 && keep(text_[end]))
      ++end;
    return end;
  }
  // Appends the units from the current one up to end and consumes them.
  Step TakeRun(std::size_t end);
  Step ValueStart(char16_t u);
  Step KeywordWord(char16_t u, bool boolean);
  Step QuotedText(char16_t u);
  Step EscapeStep(char16_t u);
  Step HexEscape(char16_t u, int digits);
  Step BareWord(char16_t u);
  Step ContextWord(char16_t u);
  Step NumberText(char16_t u);
  void MakeNumber();
  bool EndsWord(char16_t u) const;

  std::u16string_view text_;
  std::size_t offset_ = 0;
  TJsonTextBuffer buffer_;
  int32_t depth_ = 0;
  int32_t deepest_ = 0;  // levels above this one were never used in this run
  bool decimal_ = false;
  int32_t fraction_count_ = -1;
  int32_t word_position_ = 0;
  TJsonError error_ = TJsonError::None;
  uint16_t accumulator_ = 0;
  char16_t quote_ = 0;
  bool lookup_ = false;
  // Level 0, and the levels above it, made when first entered (a lookup rarely needs them).
  Level first_level_;
  std::vector<Level> deeper_levels_;
  IJsonValue finished_child_;
};

}  // namespace qelo::json::reference
