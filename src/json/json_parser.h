// The lenient one-pass JSON reader. It follows one state machine over UTF-16 units with an
// explicit stack of 32 levels, but takes whole runs of ordinary units (string contents, names,
// bare words, numbers, blanks, comments) at once, reads scalar values in place instead of on a
// level of their own, and builds every value of a document in one arena. It reads documents,
// and also the keys of member lookups (with a context value).
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "json/json_build.h"
#include "json/json_text_buffer.h"
#include "json/json_value.h"

namespace qelo::json {

enum class TJsonError : uint8_t {
  None,
  Depth,
  EndOfInput,
  ArraySeparator,
  MemberName,
  Colon,
  MemberSeparator,
  String,
  Comment,
  PathStep,  // keys with path steps (".", "[", "(") are not supported
};

class TJsonTokenizer {
 public:
  static constexpr int32_t kLevels = 32;

  TJsonTokenizer() = default;
  TJsonTokenizer(const TJsonTokenizer&) = delete;
  TJsonTokenizer& operator=(const TJsonTokenizer&) = delete;

  // Reads text up to its first unit 0 (or its end); the first complete value, or absent on an
  // error.
  IJsonValue Parse(std::u16string_view text);
  // Reads key with value as the context of level 0 (member lookup).
  IJsonValue Lookup(const IJsonValue& value, std::u16string_view key);

  TJsonError Error() const { return error_; }

 private:
  // Where the machine goes on: the states that begin with skipping blanks and comments.
  enum class Next : uint8_t { ArrayNext, MemberStart, AfterValue, Done, Stop };

  static constexpr uint8_t kNoShape = 0xFF;

  // An open array or object: its level is its index in frames_.
  struct Frame {
    bool object;
    bool shaped;     // every member so far repeats the names of one of the level's shapes
    uint8_t shape;   // which one, once the first name is read; kNoShape before
    uint32_t first;  // its first finished element in elements_, or member in members_
    uint32_t hash;   // the name of the member being read (objects)
    const TJsonName* name;
  };

  // The names of an object read at a level, in the order read, and the layout its table got.
  // Objects mostly repeat the names of one read before at their level: a name is then matched,
  // not scanned and hashed, and the table gets the same layout without sorting or linking.
  struct Shape {
    TJsonObjectLayout layout;
    uint32_t run = 0;        // the run that recorded it; a shape of an earlier run is void
    uint32_t last_used = 0;  // the least recently used shape of a level makes room
    const TJsonName* names[TJsonObjectLayout::kMaxMembers];
    uint32_t hashes[TJsonObjectLayout::kMaxMembers];
    // The name holds no quote, backslash or unit 0, so quoted text equal to it is that name.
    bool plain[TJsonObjectLayout::kMaxMembers];
  };
  // Objects of a few shapes alternate at one level (a post's author, its counts, its
  // entities): each level keeps this many.
  static constexpr std::size_t kShapesPerLevel = 4;
  using LevelShapes = std::array<Shape, kShapesPerLevel>;

  struct CachedName {
    uint32_t hash = 0;
    const TJsonName* name = nullptr;
  };

  class RunScope;

  IJsonValue Run(std::u16string_view text, const IJsonValue* context);
  char16_t Peek() const { return p_ < end_ ? *p_ : char16_t{0}; }
  TJsonArena* Arena();
  Next Fail(TJsonError error);
  bool FailFalse(TJsonError error) {
    Fail(error);
    return false;
  }
  // Skips whitespace and comments; false when the reading ends here. A comment that runs into
  // the end of the text is an error, unless it follows a complete value (after_value): then the
  // reading stops with what is complete.
  bool SkipBlanks(bool after_value) {
    if (p_<end_&& * p_> 32 && *p_ != u'/') return true;  // mostly: nothing to skip
    return SkipBlanksAndComments(after_value);
  }
  bool SkipBlanksAndComments(bool after_value);
  bool SkipComment(bool after_value);

  Next ValueStart();
  Next ArrayNext();
  Next MemberStart();
  Next AfterValue();
  void Open(bool object);
  void CloseArray();
  void CloseObject();
  // After a comment ran into the end: level 0 keeps the elements or members already complete.
  void KeepLevelZero();
  void ReleaseAll();

  Next QuotedValue(char16_t quote);
  Next EscapedValue(const char16_t* start, const char16_t* close);
  // The rest of a quoted text after its first escape, into scratch_; consumes the quote.
  bool QuotedRest(char16_t quote);
  // One escape after its backslash, appended to scratch_.
  bool Escape();
  bool HexEscape(int digits);
  Next Number();
  Next Keyword(std::u16string_view word);
  // A word whose first units start .. from are read: a bare word, or a member name of the
  // lookup's context.
  Next Word(const char16_t* start, const char16_t* from);
  Next BareWord(const char16_t* start, const char16_t* from);
  Next ContextWord(const char16_t* start, const char16_t* from);
  // The member name one of the level's shapes expects next, when the text holds it in quotes.
  bool ShapedName(char16_t quote);
  // The shape has a k-th member whose name the text at p_ holds in quotes.
  bool ShapeNameAhead(const Shape& shape, std::size_t k, char16_t quote) const;
  // Another shape of the level whose first k names are those of the frame's shape, and whose
  // k-th the text holds; kNoShape when there is none.
  uint8_t OtherShape(const Frame& frame, std::size_t k, char16_t quote) const;
  // Records the names and layout of the object being closed, in place of the level's least
  // recently used shape.
  Shape& RecordShape(LevelShapes& shapes, const TJsonPendingMember* members, std::size_t count);
  bool QuotedName(char16_t quote);
  bool BareName();
  void SetName(std::u16string_view name);

  const char16_t* p_ = nullptr;
  const char16_t* end_ = nullptr;
  TJsonError error_ = TJsonError::None;
  bool stopped_in_comment_ = false;
  const IJsonValue* context_ = nullptr;  // set for a lookup
  std::size_t size_hint_ = 0;
  TJsonArena* arena_ = nullptr;  // made with the first value; sealed when the run ends
  std::array<Frame, kLevels> frames_{};
  int32_t open_ = 0;                   // frames in use; the value being read is at level open_
  std::vector<TJsonValue*> elements_;  // owned references
  std::vector<TJsonPendingMember> members_;  // owned references
  TJsonValue* value_ = nullptr;              // the complete value not yet placed; owned
  TJsonTextBuffer scratch_;                  // units of a token with escapes
  std::array<CachedName, 64> names_{};       // recent names, shared by the members that repeat
  std::array<LevelShapes, kLevels> shapes_;
  uint32_t run_ = 0;   // counts runs: shapes of earlier runs name values that may be gone
  uint32_t uses_ = 0;  // counts shape uses, for last_used
};

// The first complete value of text, or absent when the text is malformed.
IJsonValue ParseJsonText(std::u16string_view text);

}  // namespace qelo::json
