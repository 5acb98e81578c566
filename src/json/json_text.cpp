#include "json/json_text.h"

#include <iterator>
#include <optional>
#include <vector>

#include "json/json_array.h"
#include "json/json_member_table.h"
#include "json/json_number_text.h"

namespace qelo::json {

namespace {

bool IsContainer(const TJsonValue& v) {
  return v.Kind() == TJsonKind::Array || v.Kind() == TJsonKind::Object;
}

void WriteScalar(TJsonTextBuffer& out, const TJsonValue& v) {
  switch (v.Kind()) {
    case TJsonKind::Null:
      out.Append(std::string_view("null"));
      break;
    case TJsonKind::Boolean:
      out.Append(std::string_view(v.BooleanValue() ? "true" : "false"));
      break;
    case TJsonKind::Double:
      out.Append(std::string_view(DoubleText(v.DoubleValue())));
      break;
    case TJsonKind::FixedPoint:
      out.Append(std::string_view(FixedPointText(v.FixedValue())));
      break;
    case TJsonKind::Integer:
      out.Append(std::string_view(IntegerText(v.IntegerValue())));
      break;
    case TJsonKind::String:
      out.Append(u'"');
      WriteEscaped(out, v.Text());
      out.Append(u'"');
      break;
    case TJsonKind::Object:
    case TJsonKind::Array:
    case TJsonKind::Method:
      break;
  }
}

// One container being written: its position among its elements or members.
struct Frame {
  TJsonValue* value;
  int32_t next_index = 0;                   // arrays
  std::optional<TJsonAvlIterator> members;  // objects
  bool wrote_any = false;
};

// Clears the being-written flags of every open container, also when writing fails.
class FrameStack {
 public:
  ~FrameStack() {
    for (Frame& f : frames_)
      f.value->SetBeingWritten(false);
  }
  bool Empty() const { return frames_.empty(); }
  Frame& Top() { return frames_.back(); }
  void Open(TJsonTextBuffer& out, TJsonValue* v) {
    out.Append(v->Kind() == TJsonKind::Array ? u'[' : u'{');
    frames_.push_back(Frame{v, 0, std::nullopt, false});
    v->SetBeingWritten(true);
    if (v->Kind() == TJsonKind::Object) frames_.back().members.emplace(*v->Members());
  }
  void Close(TJsonTextBuffer& out) {
    TJsonValue* v = frames_.back().value;
    out.Append(v->Kind() == TJsonKind::Array ? u']' : u'}');
    v->SetBeingWritten(false);
    frames_.pop_back();
  }

 private:
  std::vector<Frame> frames_;
};

bool LeftOut(const TJsonValue* v) {
  return v && (v->Kind() == TJsonKind::Method || v->BeingWritten());
}

// Writes the separator and the child; returns true when the child is a container just opened.
bool WriteChild(TJsonTextBuffer& out, FrameStack& stack, Frame& frame, TJsonValue* child) {
  if (frame.wrote_any) out.Append(u',');
  frame.wrote_any = true;
  if (!child) {
    out.Append(std::string_view("null"));
    return false;
  }
  if (IsContainer(*child)) {
    stack.Open(out, child);
    return true;
  }
  WriteScalar(out, *child);
  return false;
}

// Advances the top frame by one child; false when the frame has no children left.
bool Advance(TJsonTextBuffer& out, FrameStack& stack) {
  Frame& frame = stack.Top();
  if (frame.value->Kind() == TJsonKind::Array) {
    const TJsonArray& list = *frame.value->Array();
    while (frame.next_index < list.Length()) {
      TJsonValue* child = list.Slot(frame.next_index++)->get();
      if (LeftOut(child)) continue;
      WriteChild(out, stack, frame, child);
      return true;
    }
    return false;
  }
  while (const TJsonAvlEntry* e = frame.members->Next()) {
    TJsonValue* child = e->value.get();
    if (LeftOut(child)) continue;
    if (frame.wrote_any) out.Append(u',');
    frame.wrote_any = false;  // the separator is written; WriteChild must not add another
    out.Append(u'"');
    WriteEscaped(out, frame.value->Members()->Name(*e));
    out.Append(std::u16string_view(u"\":"));
    WriteChild(out, stack, frame, child);
    return true;
  }
  return false;
}

void WriteValue(TJsonTextBuffer& out, TJsonValue* root) {
  if (root->BeingWritten()) {
    out.Append(std::string_view("null"));
    return;
  }
  if (!IsContainer(*root)) {
    WriteScalar(out, *root);
    return;
  }
  FrameStack stack;
  stack.Open(out, root);
  while (!stack.Empty()) {
    if (!Advance(out, stack)) stack.Close(out);
  }
}

}  // namespace

void WriteEscaped(TJsonTextBuffer& out, std::u16string_view text) {
  std::size_t run = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char16_t u = text[i];
    if (u != 0 && u != u'"' && u != u'/' && u != u'\\') continue;
    out.Append(text.substr(run, i - run));
    if (u == 0) {
      out.Append(std::string_view("\\u0000"));
    } else {
      out.Append(u'\\');
      out.Append(u);
    }
    run = i + 1;
  }
  out.Append(text.substr(run));
}

void WriteJsonText(TJsonTextBuffer& out, const IJsonValue& value) {
  if (value) WriteValue(out, value.get());
}

std::u16string JsonText(const IJsonValue& value) {
  TJsonTextBuffer out;
  WriteJsonText(out, value);
  return out.Text();
}

std::u16string ValueText(const IJsonValue& value) {
  return value ? ValueText(*value) : std::u16string();
}

// The common kinds of a reply's fields directly, the rest through the JSON text.
std::u16string ValueText(TJsonValue& value) {
  switch (value.Kind()) {
    case TJsonKind::String:
      return std::u16string(value.Text());
    case TJsonKind::Integer: {
      const int64_t v = value.IntegerValue();
      uint64_t magnitude = v < 0 ? ~static_cast<uint64_t>(v) + 1 : static_cast<uint64_t>(v);
      char16_t digits[20];
      std::size_t at = std::size(digits);
      do {
        digits[--at] = static_cast<char16_t>(u'0' + magnitude % 10);
        magnitude /= 10;
      } while (magnitude != 0);
      if (v < 0) digits[--at] = u'-';
      return std::u16string(digits + at, std::size(digits) - at);
    }
    default: {
      TJsonTextBuffer out;
      WriteValue(out, &value);
      return out.Text();
    }
  }
}

}  // namespace qelo::json
