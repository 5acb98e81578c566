#include "json/reference_reader.h"

#include <algorithm>
#include <cstdlib>
#include <limits>
#include <optional>
#include <string>

#include "json/json_array.h"
#include "json/json_member_table.h"

namespace qelo::json::reference {

namespace {

bool IsWhitespace(char16_t u) {
  return u == 8 || u == 9 || u == 10 || u == 12 || u == 13 || u == 32;
}

bool IsReserved(char16_t u) {
  switch (u) {
    case 0:
    case u'"':
    case u'(':
    case u')':
    case u',':
    case u'.':
    case u':':
    case u'[':
    case u']':
    case u'{':
    case u'}':
      return true;
    default:
      return IsWhitespace(u);
  }
}

bool IsWordChar(char16_t u) {
  return u == u'.' || (u >= u'A' && u <= u'Z') || u == u'_' || (u >= u'a' && u <= u'z') || u > 255;
}

bool IsDigit(char16_t u) {
  return u >= u'0' && u <= u'9';
}

bool IsNumberChar(char16_t u) {
  return IsDigit(u) || u == u'+' || u == u'-' || u == u'.' || u == u'E' || u == u'e';
}

int HexValue(char16_t u) {
  if (IsDigit(u)) return u - u'0';
  if (u >= u'A' && u <= u'F') return u - u'A' + 10;
  if (u >= u'a' && u <= u'f') return u - u'a' + 10;
  return -1;
}

// The number conversions, written from the number rules alone (not from the library's reader):
// wide arithmetic for the integer and fixed-point counts, the C library's strtod for doubles.

using Wide = __int128;

constexpr Wide kLowest = std::numeric_limits<int64_t>::min();
constexpr Wide kHighest = std::numeric_limits<int64_t>::max();

// The digits after an optional sign, up to the first other unit, with the magnitude capped far
// above the 64-bit range so that the caller still sees it is out of range.
Wide LeadingInteger(std::u16string_view text) {
  const bool negative = !text.empty() && text[0] == u'-';
  if (!text.empty() && (text[0] == u'-' || text[0] == u'+')) text.remove_prefix(1);
  Wide magnitude = 0;
  for (std::size_t i = 0; i < text.size() && IsDigit(text[i]); ++i)
    magnitude = std::min<Wide>(magnitude * 10 + (text[i] - u'0'), Wide{1} << 80);
  return negative ? -magnitude : magnitude;
}

// Out of the signed 64-bit range the value saturates at its ends.
int64_t ReadInteger(std::u16string_view text) {
  return static_cast<int64_t>(std::clamp(LeadingInteger(text), kLowest, kHighest));
}

// The text without its first point, read as an integer, times 10^(4 - fraction digits); nothing
// when that leaves the signed 64-bit range (the number is then read as a double).
std::optional<int64_t> ReadFixed(std::u16string_view text, int32_t fraction_digits) {
  std::u16string digits(text);
  digits.erase(digits.find(u'.'), 1);
  Wide count = LeadingInteger(digits);
  for (int32_t k = fraction_digits; k < 4; ++k)
    count *= 10;
  if (count < kLowest || count > kHighest) return std::nullopt;
  return static_cast<int64_t>(count);
}

// The longest leading part that strtod takes, correctly rounded; 0 when there is none, an
// infinity or zero of the text's sign beyond the range of a double.
double ReadDouble(std::u16string_view text) {
  std::string ascii;
  for (char16_t u : text)
    ascii.push_back(static_cast<char>(u));
  return std::strtod(ascii.c_str(), nullptr);
}

}  // namespace

IJsonValue TReferenceReader::Parse(std::u16string_view text) {
  return Run(text, nullptr);
}

IJsonValue TReferenceReader::Lookup(const IJsonValue& value, std::u16string_view key) {
  return Run(key, &value);
}

void TReferenceReader::ResetLevel(Level& level) {
  level.state = State::SkipBlanks;
  level.pending = State::ValueStart;
  level.value.Reset();
  level.member_name.clear();
  level.context.Reset();
}

IJsonValue TReferenceReader::Run(std::u16string_view text, const IJsonValue* context) {
  text_ = text;
  offset_ = 0;
  depth_ = 0;
  error_ = TJsonError::None;
  buffer_.Clear();
  finished_child_.Reset();
  // Levels are reset when they are entered; only level 0 starts here.
  deepest_ = 0;
  ResetLevel(first_level_);
  lookup_ = context != nullptr;
  if (context) first_level_.context = *context;

  for (;;) {
    const char16_t u = offset_ < text_.size() ? text_[offset_] : 0;
    const Step step = Handle(u);
    if (error_ != TJsonError::None) break;
    if (step == Step::Stop) break;
    if (step == Step::Again) continue;
    if (u == 0) {
      const Level& level = Current();
      if (level.state != State::ValueDone && level.pending != State::ValueDone) {
        error_ = TJsonError::EndOfInput;
      }
      break;
    }
    ++offset_;
  }

  IJsonValue result;
  if (error_ == TJsonError::None) result = std::move(first_level_.value);
  // Release everything built so far before handing the result over.
  for (int32_t i = 0; i <= deepest_; ++i)
    ResetLevel(LevelAt(i));
  finished_child_.Reset();
  return result;
}

TReferenceReader::Step TReferenceReader::Fail(TJsonError error) {
  error_ = error;
  return Step::Stop;
}

TReferenceReader::Step TReferenceReader::Descend(State return_state) {
  Current().state = return_state;
  ++depth_;
  if (depth_ > deepest_) deepest_ = depth_;
  if (static_cast<std::size_t>(depth_) > deeper_levels_.size()) deeper_levels_.emplace_back();
  ResetLevel(Current());
  return Step::Again;
}

TReferenceReader::Step TReferenceReader::Finish() {
  if (depth_ == 0) return Step::Stop;
  finished_child_ = std::move(Current().value);
  ResetLevel(Current());
  --depth_;
  return Step::Again;
}

TReferenceReader::Step TReferenceReader::Handle(char16_t u) {
  Level& level = Current();
  switch (level.state) {
    case State::SkipBlanks:
      if (IsWhitespace(u)) {
        offset_ = RunEnd(IsWhitespace) - 1;
        return Step::Consume;
      }
      if (u == u'/') {
        buffer_.Clear();
        buffer_.Append(u);
        level.state = State::CommentOpen;
        return Step::Consume;
      }
      level.state = level.pending;
      return Step::Again;

    case State::ValueStart:
      return ValueStart(u);

    case State::ValueDone:
      return Finish();

    case State::NullWord:
      return KeywordWord(u, false);
    case State::BooleanWord:
      return KeywordWord(u, true);

    case State::QuotedText:
    case State::QuotedName:
      return QuotedText(u);

    case State::Escape:
      return EscapeStep(u);
    case State::UnicodeEscape:
      return HexEscape(u, 4);
    case State::ByteEscape:
      return HexEscape(u, 2);

    case State::BareWord:
      return lookup_ && depth_ == 0 ? ContextWord(u) : BareWord(u);

    case State::NumberText:
      return NumberText(u);

    case State::CommentOpen:
      if (u != u'*' && u != u'/')
        return Fail(u == 0 ? TJsonError::EndOfInput : TJsonError::Comment);
      buffer_.Append(u);
      level.state = u == u'*' ? State::BlockComment : State::LineComment;
      return Step::Consume;
    case State::BlockComment:
      if (u == u'*') {
        buffer_.Append(u);
        level.state = State::BlockCommentStar;
        return Step::Consume;
      }
      return TakeRun(RunEnd([](char16_t c) { return c != u'*'; }));
    case State::BlockCommentStar:
      buffer_.Append(u);
      if (u == u'/') {
        level.state = State::SkipBlanks;
      } else if (u != u'*') {
        level.state = State::BlockComment;
      }
      return Step::Consume;
    case State::LineComment:
      if (u == 10) {
        level.state = State::SkipBlanks;
        return Step::Consume;
      }
      return TakeRun(RunEnd([](char16_t c) { return c != 10; }));

    case State::ArrayNext:
      if (u == u']') {
        level.pending = State::ValueDone;
        level.state = State::SkipBlanks;
        return Step::Consume;
      }
      if (AtLastLevel()) return Fail(TJsonError::Depth);
      return Descend(State::ArrayAppend);
    case State::ArrayAppend:
      AppendElement(level.value->Array(), std::move(finished_child_));
      level.pending = State::ArrayAfter;
      level.state = State::SkipBlanks;
      return Step::Again;
    case State::ArrayAfter:
      if (u == u']' || u == u',') {
        level.pending = u == u']' ? State::ValueDone : State::ArrayNext;
        level.state = State::SkipBlanks;
        return Step::Consume;
      }
      return Fail(u == 0 ? TJsonError::EndOfInput : TJsonError::ArraySeparator);

    case State::MemberStart:
      if (u == u'}') {
        level.pending = State::ValueDone;
        level.state = State::SkipBlanks;
        return Step::Consume;
      }
      if (u == u'"' || u == u'\'') {
        quote_ = u;
        buffer_.Clear();
        level.state = State::QuotedName;
        return Step::Consume;
      }
      if (IsReserved(u)) return Fail(u == 0 ? TJsonError::EndOfInput : TJsonError::MemberName);
      buffer_.Clear();
      level.state = State::BareName;
      return Step::Again;
    case State::BareName:
      if (u == 0 || u == u':') {
        // Blanks inside and at the end stay part of the name.
        level.member_name.assign(buffer_.UpToZero());
        level.pending = State::NameColon;
        level.state = State::SkipBlanks;
        return Step::Again;
      }
      if (u == u'\\') {
        level.pending = State::BareName;
        level.state = State::Escape;
        return Step::Consume;
      }
      return TakeRun(RunEnd([](char16_t c) { return c != u':' && c != u'\\'; }));
    case State::NameColon:
      if (u != u':') return Fail(u == 0 ? TJsonError::EndOfInput : TJsonError::Colon);
      level.pending = State::MemberDescend;
      level.state = State::SkipBlanks;
      return Step::Consume;
    case State::MemberDescend:
      if (AtLastLevel()) return Fail(TJsonError::Depth);
      return Descend(State::MemberStore);
    case State::MemberStore:
      PutMember(level.value->Members(), level.member_name, std::move(finished_child_));
      level.member_name.clear();
      level.pending = State::MemberAfter;
      level.state = State::SkipBlanks;
      return Step::Again;
    case State::MemberAfter:
      if (u == u'}' || u == u',') {
        level.pending = u == u'}' ? State::ValueDone : State::MemberStart;
        level.state = State::SkipBlanks;
        return Step::Consume;
      }
      return Fail(u == 0 ? TJsonError::EndOfInput : TJsonError::MemberSeparator);
  }
  return Fail(TJsonError::EndOfInput);
}

TReferenceReader::Step TReferenceReader::TakeRun(std::size_t end) {
  buffer_.Append(text_.substr(offset_, end - offset_));
  offset_ = end - 1;
  return Step::Consume;
}

TReferenceReader::Step TReferenceReader::ValueStart(char16_t u) {
  Level& level = Current();
  if (u == u'"' || u == u'\'') {
    quote_ = u;
    buffer_.Clear();
    level.state = State::QuotedText;
    return Step::Consume;
  }
  // In a member lookup a leading digit starts a name, not a number.
  const bool name_digit = lookup_ && depth_ == 0 && IsDigit(u);
  if ((u == u'-' || IsDigit(u)) && !name_digit) {
    buffer_.Clear();
    decimal_ = false;
    fraction_count_ = -1;
    level.state = State::NumberText;
    return Step::Again;
  }
  switch (u) {
    case u't':
    case u'f':
    case u'T':
    case u'F':
      buffer_.Clear();
      word_position_ = 0;
      level.state = State::BooleanWord;
      return Step::Again;
    case u'n':
    case u'N':
      buffer_.Clear();
      word_position_ = 0;
      level.state = State::NullWord;
      return Step::Again;
    case u'[':
      level.value = NewArrayValue();
      level.pending = State::ArrayNext;
      level.state = State::SkipBlanks;
      return Step::Consume;
    case u'{':
      level.value = NewObjectValue();
      level.pending = State::MemberStart;
      level.state = State::SkipBlanks;
      return Step::Consume;
    case u'(':
      return Step::Consume;
    default:
      buffer_.Clear();
      level.state = State::BareWord;
      return Step::Again;
  }
}

// The words null, true and false; a word that turns out to be something else goes on as a bare
// word with the units read so far.
TReferenceReader::Step TReferenceReader::KeywordWord(char16_t u, bool boolean) {
  Level& level = Current();
  buffer_.Append(u);
  const std::u16string_view read = buffer_.View();
  auto is_prefix = [&](std::u16string_view word) {
    const std::size_t n =
        std::min<std::size_t>(static_cast<std::size_t>(word_position_) + 1, word.size());
    return read.substr(0, n) == word.substr(0, n);
  };
  std::u16string_view word;
  if (!boolean) {
    if (is_prefix(u"null")) word = u"null";
  } else if (is_prefix(u"true")) {
    word = u"true";
  } else if (is_prefix(u"false")) {
    word = u"false";
  }
  if (word.empty()) {
    buffer_.RemoveLast();
    level.state = State::BareWord;
    return Step::Again;
  }
  if (word_position_ == static_cast<int32_t>(word.size())) {
    if (IsWordChar(u)) {
      ++word_position_;
      level.state = State::BareWord;
      return Step::Consume;
    }
    level.value = word == u"null" ? NewNullValue() : NewBooleanValue(word == u"true");
    level.pending = State::ValueDone;
    level.state = State::SkipBlanks;
    return Step::Again;
  }
  ++word_position_;
  return Step::Consume;
}

// Quoted values and quoted member names.
TReferenceReader::Step TReferenceReader::QuotedText(char16_t u) {
  Level& level = Current();
  if (u == quote_) {
    if (level.state == State::QuotedText) {
      level.value = NewStringValue(buffer_.Text());
      level.pending = State::ValueDone;
    } else {
      level.member_name.assign(buffer_.UpToZero());
      level.pending = State::NameColon;
    }
    level.state = State::SkipBlanks;
    return Step::Consume;
  }
  if (u == u'\\') {
    level.pending = level.state;
    level.state = State::Escape;
    return Step::Consume;
  }
  if (u == 0) {
    buffer_.Append(u);
    return Step::Consume;
  }
  const char16_t quote = quote_;
  return TakeRun(RunEnd([quote](char16_t c) { return c != quote && c != u'\\'; }));
}

TReferenceReader::Step TReferenceReader::EscapeStep(char16_t u) {
  Level& level = Current();
  switch (u) {
    case u'b':
      buffer_.Append(char16_t{8});
      break;
    case u'f':
      buffer_.Append(char16_t{12});
      break;
    case u'n':
      buffer_.Append(char16_t{10});
      break;
    case u'r':
      buffer_.Append(char16_t{13});
      break;
    case u't':
      buffer_.Append(char16_t{9});
      break;
    case u'u':
    case u'x':
      accumulator_ = 0;
      word_position_ = 0;
      level.state = u == u'u' ? State::UnicodeEscape : State::ByteEscape;
      return Step::Consume;
    default:
      buffer_.Append(u);
      break;
  }
  level.state = level.pending;
  return Step::Consume;
}

TReferenceReader::Step TReferenceReader::HexEscape(char16_t u, int digits) {
  const int hex = HexValue(u);
  if (hex < 0) return Fail(TJsonError::String);
  accumulator_ = static_cast<uint16_t>(accumulator_ | (hex << (4 * (digits - 1 - word_position_))));
  if (++word_position_ == digits) {
    buffer_.Append(static_cast<char16_t>(accumulator_));
    Current().state = Current().pending;
  }
  return Step::Consume;
}

// Units that end a bare word: 0 always, and the separators of the container being filled.
bool TReferenceReader::EndsWord(char16_t u) const {
  if (u == 0) return true;
  if (depth_ == 0) return false;
  const State parent = LevelAt(depth_ - 1).state;
  if (parent == State::ArrayAppend) return u == u',' || u == u']';
  if (parent == State::MemberStore) return u == u',' || u == u'}';
  return false;
}

TReferenceReader::Step TReferenceReader::BareWord(char16_t u) {
  Level& level = Current();
  if (u > 255) {
    buffer_.Append(u);
    return Step::Consume;
  }
  if (EndsWord(u)) {
    buffer_.TrimRightLineBlanks();
    level.value = NewStringValue(std::u16string(buffer_.UpToZero()));
    level.pending = State::ValueDone;
    level.state = State::SkipBlanks;
    return Step::Again;
  }
  if (u == u'\\') {
    level.pending = State::BareWord;
    level.state = State::Escape;
    return Step::Consume;
  }
  return TakeRun(RunEnd([this](char16_t c) { return c > 255 || (c != u'\\' && !EndsWord(c)); }));
}

// A bare word read as a member name of the lookup's context.
TReferenceReader::Step TReferenceReader::ContextWord(char16_t u) {
  Level& level = Current();
  if (!IsReserved(u)) return TakeRun(RunEnd([](char16_t c) { return !IsReserved(c); }));
  const IJsonValue& context = level.value ? level.value : level.context;
  switch (KindOf(context)) {
    case TJsonKind::Object:
      if (u == u'.' || u == u'[' || u == u'(') return Fail(TJsonError::PathStep);
      level.value = FindMember(ObjectOf(context), buffer_.View());
      level.state = State::ValueDone;
      return Step::Again;
    case TJsonKind::Array:
      if (buffer_.Length() == 0) return Fail(TJsonError::PathStep);
      level.value.Reset();
      level.state = State::ValueDone;
      return Step::Again;
    default:
      // Nothing to look a name up in: the key can only run out.
      return Fail(TJsonError::EndOfInput);
  }
}

TReferenceReader::Step TReferenceReader::NumberText(char16_t u) {
  if (!IsNumberChar(u)) {
    MakeNumber();
    Current().pending = State::ValueDone;
    Current().state = State::SkipBlanks;
    return Step::Again;
  }
  const std::size_t end = RunEnd(IsNumberChar);
  for (std::size_t i = offset_; i < end; ++i) {
    const char16_t c = text_[i];
    if (c == u'.') {
      decimal_ = true;
      fraction_count_ = 0;
    } else if (c == u'E' || c == u'e') {
      decimal_ = true;
      fraction_count_ = -1;
    } else if (IsDigit(c) && decimal_ && fraction_count_ != -1) {
      if (++fraction_count_ > 4) fraction_count_ = -1;
    }
  }
  return TakeRun(end);
}

void TReferenceReader::MakeNumber() {
  const std::u16string_view text = buffer_.View();
  IJsonValue& value = Current().value;
  if (!decimal_) {
    value = NewIntegerValue(ReadInteger(text));
  } else if (const auto fixed =
                 fraction_count_ >= 0 ? ReadFixed(text, fraction_count_) : std::nullopt) {
    value = NewFixedValue(*fixed);
  } else {
    value = NewDoubleValue(ReadDouble(text));
  }
}

}  // namespace qelo::json::reference
