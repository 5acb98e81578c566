#include "json/json_parser.h"

#include <algorithm>

#include "json/json_arena.h"
#include "json/json_member_table.h"
#include "json/json_number_read.h"
#include "json/json_scan.h"

namespace qelo::json {

using scan::FindAny;
using scan::IsDigit;
using scan::IsReserved;
using scan::IsWhitespace;

IJsonValue ParseJsonText(std::u16string_view text) {
  TJsonTokenizer tokenizer;
  return tokenizer.Parse(text);
}

IJsonValue TJsonTokenizer::Parse(std::u16string_view text) {
  return Run(text, nullptr);
}

IJsonValue TJsonTokenizer::Lookup(const IJsonValue& value, std::u16string_view key) {
  return Run(key, &value);
}

// Whatever way a run ends, values not handed out are released and the arena is sealed, so it
// lives on exactly as long as the values made from it.
class TJsonTokenizer::RunScope {
 public:
  explicit RunScope(TJsonTokenizer& reader) : reader_(reader) {}
  RunScope(const RunScope&) = delete;
  RunScope& operator=(const RunScope&) = delete;
  ~RunScope() {
    reader_.ReleaseAll();
    // Names live in the arena, which may go as soon as it is sealed; so do the shapes' names,
    // which the next run's count voids.
    reader_.names_.fill(CachedName{});
    if (TJsonArena* arena = std::exchange(reader_.arena_, nullptr)) arena->Seal();
  }

 private:
  TJsonTokenizer& reader_;
};

IJsonValue TJsonTokenizer::Run(std::u16string_view text, const IJsonValue* context) {
  RunScope scope(*this);
  if (++run_ == 0) {  // after 2^32 runs: void every shape before counting on
    for (LevelShapes& shapes : shapes_)
      for (Shape& shape : shapes)
        shape.run = 0;
    run_ = 1;
  }
  p_ = text.data();
  end_ = p_ + text.size();
  error_ = TJsonError::None;
  stopped_in_comment_ = false;
  context_ = context;
  size_hint_ = text.size() * 4;
  open_ = 0;

  Next next = SkipBlanks(false) ? ValueStart() : Next::Stop;
  while (next != Next::Done && next != Next::Stop) {
    switch (next) {
      case Next::ArrayNext:
        next = ArrayNext();
        break;
      case Next::MemberStart:
        next = MemberStart();
        break;
      default:
        next = AfterValue();
        break;
    }
  }
  if (error_ != TJsonError::None) return {};
  if (stopped_in_comment_) KeepLevelZero();
  if (arena_) arena_->SetRoot(value_);
  return TJsonBuild::Handle(std::exchange(value_, nullptr));
}

TJsonArena* TJsonTokenizer::Arena() {
  if (!arena_) arena_ = TJsonArena::Create(size_hint_);
  return arena_;
}

TJsonTokenizer::Next TJsonTokenizer::Fail(TJsonError error) {
  error_ = error;
  return Next::Stop;
}

void TJsonTokenizer::ReleaseAll() {
  if (value_) TJsonBuild::Release(std::exchange(value_, nullptr));
  for (TJsonValue* v : elements_)
    TJsonBuild::Release(v);
  for (const TJsonPendingMember& m : members_)
    TJsonBuild::Release(m.value);
  elements_.clear();
  members_.clear();
  open_ = 0;
}

bool TJsonTokenizer::SkipBlanksAndComments(bool after_value) {
  for (;;) {
    while (p_ < end_ && IsWhitespace(*p_))
      ++p_;
    if (Peek() != u'/') return true;
    if (!SkipComment(after_value)) return false;
  }
}

// A block comment ends at the first "*" directly followed by "/", a line comment at a line
// feed.
bool TJsonTokenizer::SkipComment(bool after_value) {
  ++p_;
  const char16_t kind = Peek();
  if (kind != u'*' && kind != u'/')
    return FailFalse(kind == 0 ? TJsonError::EndOfInput : TJsonError::Comment);
  ++p_;
  for (;;) {
    p_ = kind == u'*' ? FindAny(p_, end_, u'*', u'*', u'*') : FindAny(p_, end_, 10, 10, 10);
    if (Peek() == 0) break;
    ++p_;
    if (kind == u'/') return true;
    if (Peek() == u'/') {
      ++p_;
      return true;
    }
  }
  if (!after_value) return FailFalse(TJsonError::EndOfInput);
  stopped_in_comment_ = true;
  return false;
}

TJsonTokenizer::Next TJsonTokenizer::ValueStart() {
  for (;;) {
    const char16_t u = Peek();
    switch (u) {
      case u'"':
      case u'\'':
        return QuotedValue(u);
      case u'[':
        ++p_;
        Open(false);
        return Next::ArrayNext;
      case u'{':
        ++p_;
        Open(true);
        return Next::MemberStart;
      case u'(':
        ++p_;  // ignored; the value starts with the next unit, blank or not
        continue;
      case u't':
        return Keyword(u"true");
      case u'f':
        return Keyword(u"false");
      case u'n':
        return Keyword(u"null");
      case u'-':
        return Number();
      default:
        // In a member lookup a leading digit starts a name, not a number.
        if (IsDigit(u) && !(context_ && open_ == 0)) return Number();
        return Word(p_, p_);
    }
  }
}

void TJsonTokenizer::Open(bool object) {
  const std::size_t first = object ? members_.size() : elements_.size();
  frames_[static_cast<std::size_t>(open_++)] =
      Frame{object, true, kNoShape, static_cast<uint32_t>(first), 0, nullptr};
}

void TJsonTokenizer::CloseArray() {
  const Frame& frame = frames_[static_cast<std::size_t>(--open_)];
  const std::size_t count = elements_.size() - frame.first;
  value_ = TJsonBuild::Array(Arena(), elements_.data() + frame.first, count);
  elements_.resize(frame.first);
}

void TJsonTokenizer::CloseObject() {
  const Frame& frame = frames_[static_cast<std::size_t>(--open_)];
  LevelShapes& shapes = shapes_[static_cast<std::size_t>(open_)];
  TJsonPendingMember* members = members_.data() + frame.first;
  const std::size_t count = members_.size() - frame.first;
  Shape* shape = frame.shaped && frame.shape != kNoShape ? &shapes[frame.shape] : nullptr;
  if (shape && count == shape->layout.count) {
    shape->last_used = ++uses_;
    value_ = TJsonBuild::Object(Arena(), members, shape->layout);
  } else if (count > 0 && count <= TJsonObjectLayout::kMaxMembers) {
    Shape& recorded = RecordShape(shapes, members, count);
    value_ = TJsonBuild::Object(Arena(), members, count, &recorded.layout);
  } else {
    value_ = TJsonBuild::Object(Arena(), members, count);
  }
  members_.resize(frame.first);
}

TJsonTokenizer::Shape& TJsonTokenizer::RecordShape(LevelShapes& shapes,
                                                   const TJsonPendingMember* members,
                                                   std::size_t count) {
  Shape* shape = &shapes[0];
  for (Shape& other : shapes) {
    if (other.run != run_) {
      shape = &other;
      break;
    }
    if (other.last_used < shape->last_used) shape = &other;
  }
  shape->run = run_;
  shape->last_used = ++uses_;
  for (std::size_t i = 0; i < count; ++i) {
    shape->names[i] = members[i].name;
    shape->hashes[i] = members[i].hash;
    const std::u16string_view name = members[i].name->View();
    shape->plain[i] = name.find_first_of(std::u16string_view(u"\"'\\\0", 4)) == name.npos;
  }
  return *shape;
}

void TJsonTokenizer::KeepLevelZero() {
  if (open_ == 0) return;  // the value of level 0 itself is complete
  // Elements or members of deeper levels sit above those of level 0 on the same stack.
  const bool object = frames_[0].object;
  std::size_t keep = object ? members_.size() : elements_.size();
  for (int32_t level = 1; level < open_; ++level) {
    const Frame& frame = frames_[static_cast<std::size_t>(level)];
    if (frame.object == object) {
      keep = frame.first;
      break;
    }
  }
  if (value_) TJsonBuild::Release(std::exchange(value_, nullptr));
  if (object) {
    for (std::size_t i = keep; i < members_.size(); ++i)
      TJsonBuild::Release(members_[i].value);
    members_.resize(keep);
    for (TJsonValue* v : elements_)
      TJsonBuild::Release(v);
    elements_.clear();
  } else {
    for (std::size_t i = keep; i < elements_.size(); ++i)
      TJsonBuild::Release(elements_[i]);
    elements_.resize(keep);
    for (const TJsonPendingMember& m : members_)
      TJsonBuild::Release(m.value);
    members_.clear();
  }
  open_ = 1;
  if (object) {
    CloseObject();
  } else {
    CloseArray();
  }
}

TJsonTokenizer::Next TJsonTokenizer::ArrayNext() {
  if (!SkipBlanks(false)) return Next::Stop;
  if (Peek() == u']') {
    ++p_;
    CloseArray();
    return Next::AfterValue;
  }
  // An array at the last level may only stay empty.
  if (open_ >= kLevels) return Fail(TJsonError::Depth);
  return ValueStart();
}

TJsonTokenizer::Next TJsonTokenizer::MemberStart() {
  if (!SkipBlanks(false)) return Next::Stop;
  char16_t u = Peek();
  if (u == u'}') {
    ++p_;
    CloseObject();
    return Next::AfterValue;
  }
  if (u == u'"' || u == u'\'') {
    if (!ShapedName(u) && !QuotedName(u)) return Next::Stop;
  } else if (IsReserved(u)) {
    return Fail(u == 0 ? TJsonError::EndOfInput : TJsonError::MemberName);
  } else if (!BareName()) {
    return Next::Stop;
  }
  if (!SkipBlanks(false)) return Next::Stop;
  u = Peek();
  if (u != u':') return Fail(u == 0 ? TJsonError::EndOfInput : TJsonError::Colon);
  ++p_;
  if (!SkipBlanks(false)) return Next::Stop;
  if (open_ >= kLevels) return Fail(TJsonError::Depth);
  return ValueStart();
}

// value_ is complete at level open_: after blanks and comments, its container takes it and
// reads on.
TJsonTokenizer::Next TJsonTokenizer::AfterValue() {
  if (!SkipBlanks(true)) return Next::Stop;
  if (open_ == 0) return Next::Done;
  const Frame& frame = frames_[static_cast<std::size_t>(open_ - 1)];
  const char16_t u = Peek();
  if (!frame.object) {
    elements_.push_back(value_);
    value_ = nullptr;
    if (u == u',') {
      ++p_;
      return Next::ArrayNext;
    }
    if (u == u']') {
      ++p_;
      CloseArray();
      return Next::AfterValue;
    }
    return Fail(u == 0 ? TJsonError::EndOfInput : TJsonError::ArraySeparator);
  }
  members_.push_back(TJsonPendingMember{frame.hash, frame.name, value_});
  value_ = nullptr;
  if (u == u',') {
    ++p_;
    return Next::MemberStart;
  }
  if (u == u'}') {
    ++p_;
    CloseObject();
    return Next::AfterValue;
  }
  return Fail(u == 0 ? TJsonError::EndOfInput : TJsonError::MemberSeparator);
}

TJsonTokenizer::Next TJsonTokenizer::QuotedValue(char16_t quote) {
  const char16_t* start = ++p_;
  p_ = FindAny(p_, end_, quote, u'\\', quote);
  if (p_ < end_ && *p_ == quote) {
    value_ = TJsonBuild::String(Arena(), {start, static_cast<std::size_t>(p_ - start)});
    ++p_;
    return Next::AfterValue;
  }
  // With escapes: where the text ends tells how much room the value needs at most, as every
  // escape stands for fewer units than it takes.
  const char16_t* close = p_;
  while (close < end_ && *close == u'\\' && close + 1 < end_ && close[1] != 0)
    close = FindAny(close + 2, end_, quote, u'\\', quote);
  if (close < end_ && *close == quote) return EscapedValue(start, close);
  // The text ends inside the string: read on unit by unit, which tells the error.
  scratch_.Clear();
  scratch_.Append(std::u16string_view(start, static_cast<std::size_t>(p_ - start)));
  if (!QuotedRest(quote)) return Next::Stop;
  value_ = TJsonBuild::String(Arena(), scratch_.View());
  return Next::AfterValue;
}

// A quoted text from start to its closing quote at close, escapes decoded straight into the
// value; p_ is at the first backslash.
TJsonTokenizer::Next TJsonTokenizer::EscapedValue(const char16_t* start, const char16_t* close) {
  const std::size_t capacity = static_cast<std::size_t>(close - start);
  char16_t* units;
  value_ = TJsonBuild::OpenString(Arena(), capacity, &units);
  char16_t* out = std::copy(start, p_, units);
  while (p_ < close) {
    // The run up to the next backslash is copied whole (it may hold units 0, which stop the
    // scan but are copied like any other unit).
    const char16_t* run = FindAny(p_, close, u'\\', u'\\', u'\\');
    out = std::copy(p_, run, out);
    p_ = run;
    if (p_ == close) break;
    if (*p_++ != u'\\') {
      *out++ = 0;
      continue;
    }
    const char16_t e = *p_++;
    switch (e) {
      case u'b':
        *out++ = 8;
        break;
      case u'f':
        *out++ = 12;
        break;
      case u'n':
        *out++ = 10;
        break;
      case u'r':
        *out++ = 13;
        break;
      case u't':
        *out++ = 9;
        break;
      case u'u':
      case u'x': {
        unsigned value = 0;
        for (int digits = e == u'u' ? 4 : 2; digits > 0; --digits) {
          // The closing quote is no hexadecimal digit either.
          const int hex = p_ < close ? scan::HexValue(*p_) : -1;
          if (hex < 0) return Fail(TJsonError::String);
          value = value * 16 + static_cast<unsigned>(hex);
          ++p_;
        }
        *out++ = static_cast<char16_t>(value);
        break;
      }
      default:
        *out++ = e;
        break;
    }
  }
  TJsonBuild::CloseString(Arena(), value_, capacity, static_cast<std::size_t>(out - units));
  ++p_;
  return Next::AfterValue;
}

bool TJsonTokenizer::QuotedRest(char16_t quote) {
  for (;;) {
    const char16_t u = Peek();
    if (u == quote) {
      ++p_;
      return true;
    }
    if (u == 0) return FailFalse(TJsonError::EndOfInput);
    if (u == u'\\') {
      ++p_;
      if (!Escape()) return false;
      continue;
    }
    const char16_t* start = p_;
    p_ = FindAny(p_ + 1, end_, quote, u'\\', quote);
    scratch_.Append(std::u16string_view(start, static_cast<std::size_t>(p_ - start)));
  }
}

bool TJsonTokenizer::Escape() {
  const char16_t u = Peek();
  switch (u) {
    case 0:
      return FailFalse(TJsonError::EndOfInput);
    case u'b':
      scratch_.Append(char16_t{8});
      break;
    case u'f':
      scratch_.Append(char16_t{12});
      break;
    case u'n':
      scratch_.Append(char16_t{10});
      break;
    case u'r':
      scratch_.Append(char16_t{13});
      break;
    case u't':
      scratch_.Append(char16_t{9});
      break;
    case u'u':
    case u'x':
      ++p_;
      return HexEscape(u == u'u' ? 4 : 2);
    default:
      // Any other unit stands for itself: \" \\ \/ and also \q.
      scratch_.Append(u);
      break;
  }
  ++p_;
  return true;
}

bool TJsonTokenizer::HexEscape(int digits) {
  unsigned value = 0;
  for (int i = 0; i < digits; ++i) {
    const int hex = scan::HexValue(Peek());
    if (hex < 0) return FailFalse(TJsonError::String);
    value = value * 16 + static_cast<unsigned>(hex);
    ++p_;
  }
  scratch_.Append(static_cast<char16_t>(value));
  return true;
}

namespace {

constexpr uint64_t kScale[] = {1, 10, 100, 1000, 10000, 100000, 1000000, 10000000, 100000000};

}  // namespace

TJsonTokenizer::Next TJsonTokenizer::Number() {
  // Most numbers of a document are integers of up to 16 digits: they are read here.
  const bool negative = *p_ == u'-';
  const char16_t* digits = p_ + negative;
  uint64_t magnitude;
  int count = scan::LeadingDigits(digits, end_, &magnitude);
  if (count == 8) {
    uint64_t low;
    const int more = scan::LeadingDigits(digits + 8, end_, &low);
    magnitude = magnitude * kScale[more] + low;
    count += more;
  }
  const char16_t* stop = digits + count;
  if (count > 0 && count < 16 && (stop == end_ || !scan::IsNumberChar(*stop))) {
    p_ = stop;
    const auto v = static_cast<int64_t>(magnitude);
    value_ = TJsonBuild::Integer(Arena(), negative ? -v : v);
    return Next::AfterValue;
  }
  TJsonNumber n;
  p_ = ReadJsonNumberAt(p_, end_, &n);
  switch (n.kind) {
    case TJsonKind::Integer:
      value_ = TJsonBuild::Integer(Arena(), n.integer);
      break;
    case TJsonKind::FixedPoint:
      value_ = TJsonBuild::Fixed(Arena(), n.integer);
      break;
    default:
      value_ = TJsonBuild::Double(Arena(), n.real);
      break;
  }
  return Next::AfterValue;
}

// null, true or false, when the word is complete and not followed by a word character;
// anything else goes on as a word with the units read so far.
TJsonTokenizer::Next TJsonTokenizer::Keyword(std::u16string_view word) {
  const char16_t* start = p_;
  for (std::size_t k = 0;; ++k, ++p_) {
    const char16_t u = Peek();
    if (k == word.size()) {
      if (scan::IsWordChar(u)) return Word(start, ++p_);
      value_ = word[0] == u'n' ? TJsonBuild::Null(Arena())
                               : TJsonBuild::Boolean(Arena(), word[0] == u't');
      return Next::AfterValue;
    }
    if (u != word[k]) return Word(start, p_);
  }
}

TJsonTokenizer::Next TJsonTokenizer::Word(const char16_t* start, const char16_t* from) {
  p_ = from;
  return context_ && open_ == 0 ? ContextWord(start, from) : BareWord(start, from);
}

// An unquoted string. It ends at the end of the text, and inside a container also at its
// separator or closing bracket; trailing line feeds, returns and blanks are not part of it,
// nor anything from an escaped unit 0 on.
TJsonTokenizer::Next TJsonTokenizer::BareWord(const char16_t* start, const char16_t* from) {
  char16_t close = 0;
  char16_t comma = 0;
  if (open_ > 0) {
    close = frames_[static_cast<std::size_t>(open_ - 1)].object ? u'}' : u']';
    comma = u',';
  }
  p_ = FindAny(from, end_, u'\\', close, comma);
  if (Peek() != u'\\') {
    std::u16string_view word(start, static_cast<std::size_t>(p_ - start));
    while (!word.empty() && (word.back() == 10 || word.back() == 13 || word.back() == 32))
      word.remove_suffix(1);
    value_ = TJsonBuild::String(Arena(), word);
    return Next::AfterValue;
  }
  scratch_.Clear();
  scratch_.Append(std::u16string_view(start, static_cast<std::size_t>(p_ - start)));
  for (;;) {
    const char16_t u = Peek();
    if (u == 0 || (comma != 0 && (u == comma || u == close))) break;
    if (u == u'\\') {
      ++p_;
      if (!Escape()) return Next::Stop;
      continue;
    }
    const char16_t* run = p_;
    p_ = FindAny(p_ + 1, end_, u'\\', close, comma);
    scratch_.Append(std::u16string_view(run, static_cast<std::size_t>(p_ - run)));
  }
  scratch_.TrimRightLineBlanks();
  value_ = TJsonBuild::String(Arena(), scratch_.UpToZero());
  return Next::AfterValue;
}

// A word of a lookup key at level 0: every unit up to the first reserved one, backslashes
// included, names a member of the context. The reading ends there, the rest of the key unread.
TJsonTokenizer::Next TJsonTokenizer::ContextWord(const char16_t* start, const char16_t* from) {
  p_ = from;
  while (!IsReserved(Peek()))
    ++p_;
  const std::u16string_view name(start, static_cast<std::size_t>(p_ - start));
  const char16_t u = Peek();
  switch (KindOf(*context_)) {
    case TJsonKind::Object:
      if (u == u'.' || u == u'[' || u == u'(') return Fail(TJsonError::PathStep);
      value_ = FindMember(ObjectOf(*context_), name).Detach();
      return Next::Done;
    case TJsonKind::Array:
      if (name.empty()) return Fail(TJsonError::PathStep);
      return Next::Done;
    default:
      // Nothing to look a name up in: the key can only run out.
      return Fail(TJsonError::EndOfInput);
  }
}

// Inline: it is on the path of nearly every member of a document of repeated shapes.
[[gnu::always_inline]] inline bool TJsonTokenizer::ShapeNameAhead(const Shape& shape, std::size_t k,
                                                                  char16_t quote) const {
  if (shape.run != run_ || k >= shape.layout.count || !shape.plain[k]) return false;
  const std::u16string_view name = shape.names[k]->View();
  return static_cast<std::size_t>(end_ - p_) > name.size() + 1 && p_[name.size() + 1] == quote &&
         scan::SameUnits(p_ + 1, name.data(), name.size());
}

uint8_t TJsonTokenizer::OtherShape(const Frame& frame, std::size_t k, char16_t quote) const {
  const LevelShapes& shapes = shapes_[static_cast<std::size_t>(open_ - 1)];
  const Shape* current = frame.shape == kNoShape ? nullptr : &shapes[frame.shape];
  for (std::size_t s = 0; s < shapes.size(); ++s) {
    const Shape& other = shapes[s];
    if (&other == current || !ShapeNameAhead(other, k, quote)) continue;
    bool same_start = true;
    for (std::size_t i = 0; i < k && same_start; ++i)
      same_start = other.hashes[i] == current->hashes[i] &&
                   (other.names[i] == current->names[i] ||
                    other.names[i]->View() == current->names[i]->View());
    if (same_start) return static_cast<uint8_t>(s);
  }
  return kNoShape;
}

bool TJsonTokenizer::ShapedName(char16_t quote) {
  Frame& frame = frames_[static_cast<std::size_t>(open_ - 1)];
  if (!frame.shaped) return false;
  const LevelShapes& shapes = shapes_[static_cast<std::size_t>(open_ - 1)];
  const std::size_t k = members_.size() - frame.first;
  if (frame.shape == kNoShape || !ShapeNameAhead(shapes[frame.shape], k, quote)) {
    // The first name picks the shape; a later one that differs may switch to another shape
    // that began the same way.
    frame.shape = k == 0 || frame.shape != kNoShape ? OtherShape(frame, k, quote) : kNoShape;
    if (frame.shape == kNoShape) {
      frame.shaped = false;
      return false;
    }
  }
  const Shape& shape = shapes[frame.shape];
  p_ += shape.names[k]->length + 2;
  frame.hash = shape.hashes[k];
  frame.name = shape.names[k];
  return true;
}

// A quoted member name; the name ends before an escaped unit 0.
bool TJsonTokenizer::QuotedName(char16_t quote) {
  const char16_t* start = ++p_;
  p_ = FindAny(p_, end_, quote, u'\\', quote);
  if (p_ < end_ && *p_ == quote) {
    SetName({start, static_cast<std::size_t>(p_ - start)});
    ++p_;
    return true;
  }
  scratch_.Clear();
  scratch_.Append(std::u16string_view(start, static_cast<std::size_t>(p_ - start)));
  if (!QuotedRest(quote)) return false;
  SetName(scratch_.UpToZero());
  return true;
}

// An unquoted member name: everything up to the colon, blanks included.
bool TJsonTokenizer::BareName() {
  frames_[static_cast<std::size_t>(open_ - 1)].shaped = false;
  const char16_t* start = p_;
  p_ = FindAny(p_, end_, u':', u'\\', u':');
  if (Peek() != u'\\') {
    SetName({start, static_cast<std::size_t>(p_ - start)});
    return true;
  }
  scratch_.Clear();
  scratch_.Append(std::u16string_view(start, static_cast<std::size_t>(p_ - start)));
  for (;;) {
    const char16_t u = Peek();
    if (u == 0 || u == u':') break;
    if (u == u'\\') {
      ++p_;
      if (!Escape()) return false;
      continue;
    }
    const char16_t* run = p_;
    p_ = FindAny(p_ + 1, end_, u':', u'\\', u':');
    scratch_.Append(std::u16string_view(run, static_cast<std::size_t>(p_ - run)));
  }
  SetName(scratch_.UpToZero());
  return true;
}

// Names repeat from object to object in a reply: a name met recently is shared, not stored
// again.
void TJsonTokenizer::SetName(std::u16string_view name) {
  const uint32_t hash = JsonNameHash(name);
  CachedName& cached = names_[(hash * 0x9E3779B1u) >> 26];
  if (!cached.name || cached.hash != hash || cached.name->View() != name)
    cached = CachedName{hash, TJsonBuild::Name(Arena(), name)};
  Frame& frame = frames_[static_cast<std::size_t>(open_ - 1)];
  frame.hash = hash;
  frame.name = cached.name;
}

}  // namespace qelo::json
