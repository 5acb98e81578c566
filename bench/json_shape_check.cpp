#include "json_shape_check.h"

#include <bit>
#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <utility>
#include <vector>

#include "json_shapes.h"

namespace qelo::bench {

namespace {

using json::IJsonValue;
using json::TJsonKind;

std::string Narrow(std::u16string_view text) {
  std::string out;
  for (char16_t u : text)
    out.push_back(u < 128 ? static_cast<char>(u) : '?');
  return out;
}

bool WithinOneUlp(double a, double b) {
  if (a == b) return true;
  if ((a < 0) != (b < 0)) return false;
  const auto ia = std::bit_cast<int64_t>(a), ib = std::bit_cast<int64_t>(b);
  return std::llabs(ia - ib) <= 1;
}

// Our number against theirs, given as whichever of the three forms they hold.
std::string CompareNumber(const IJsonValue& ours, bool is_integer, int64_t integer, double real) {
  switch (ours->Kind()) {
    case TJsonKind::Integer:
      if (is_integer && ours->IntegerValue() == integer) return {};
      break;
    case TJsonKind::Double:
      if (!is_integer && WithinOneUlp(ours->DoubleValue(), real)) return {};
      break;
    default:
      break;
  }
  return "number " + Narrow(json::ValueText(ours)) + " against " +
         (is_integer ? std::to_string(integer) : std::to_string(real));
}

std::string Under(std::string_view where, const std::string& difference) {
  return difference.empty() ? difference : std::string(where) + ": " + difference;
}

// The walk over both trees, written once for both peers through an adapter per peer.
template <class Peer>
std::string Compare(const IJsonValue& ours, const typename Peer::Value& theirs) {
  const TJsonKind kind = json::KindOf(ours);
  switch (Peer::KindOf(theirs)) {
    case TJsonKind::Null:
    case TJsonKind::Boolean:
      if (kind == Peer::KindOf(theirs) &&
          (kind == TJsonKind::Null || ours->BooleanValue() == Peer::Boolean(theirs)))
        return {};
      return "literal " + Narrow(json::ValueText(ours));
    case TJsonKind::String:
      if (kind == TJsonKind::String && ours->Text() == Peer::Text(theirs)) return {};
      return "text " + Narrow(json::ValueText(ours));
    case TJsonKind::Array: {
      const json::TJsonArray* list = json::ArrayOf(ours);
      if (!list || json::ElementCount(list) != Peer::Count(theirs)) return "array length";
      int32_t i = 0;
      for (const auto& element : Peer::Elements(theirs)) {
        const std::string d = Compare<Peer>(json::ElementAt(list, i), element);
        if (!d.empty()) return Under(std::to_string(i), d);
        ++i;
      }
      return {};
    }
    case TJsonKind::Object: {
      const json::TJsonMemberTable* table = json::ObjectOf(ours);
      if (!table || table->Count() != Peer::Count(theirs)) return "member count";
      for (const auto& [name, value] : Peer::Members(theirs)) {
        const std::string d = Compare<Peer>(json::FindMember(table, name), value);
        if (!d.empty()) return Under(Narrow(name), d);
      }
      return {};
    }
    default:
      if (kind != TJsonKind::Integer && kind != TJsonKind::Double) return "kind";
      return CompareNumber(ours, Peer::IsInteger(theirs), Peer::Integer(theirs),
                           Peer::Real(theirs));
  }
}

struct RapidJsonPeer {
  using Value = RapidJsonUtf16Value;
  static TJsonKind KindOf(const Value& v) {
    if (v.IsNull()) return TJsonKind::Null;
    if (v.IsBool()) return TJsonKind::Boolean;
    if (v.IsString()) return TJsonKind::String;
    if (v.IsArray()) return TJsonKind::Array;
    if (v.IsObject()) return TJsonKind::Object;
    return TJsonKind::Double;  // any number
  }
  static bool Boolean(const Value& v) { return v.GetBool(); }
  static std::u16string_view Text(const Value& v) { return {v.GetString(), v.GetStringLength()}; }
  static int32_t Count(const Value& v) {
    return static_cast<int32_t>(v.IsArray() ? v.Size() : v.MemberCount());
  }
  static auto Elements(const Value& v) { return v.GetArray(); }
  static auto Members(const Value& v) {
    std::vector<std::pair<std::u16string_view, const Value&>> members;
    for (const auto& m : v.GetObject())
      members.emplace_back(Text(m.name), m.value);
    return members;
  }
  static bool IsInteger(const Value& v) { return v.IsInt64(); }
  static int64_t Integer(const Value& v) { return v.IsInt64() ? v.GetInt64() : 0; }
  static double Real(const Value& v) { return v.GetDouble(); }
};

struct SimdjsonPeer {
  using Value = simdjson::dom::element;
  static TJsonKind KindOf(const Value& v) {
    switch (v.type()) {
      case simdjson::dom::element_type::NULL_VALUE:
        return TJsonKind::Null;
      case simdjson::dom::element_type::BOOL:
        return TJsonKind::Boolean;
      case simdjson::dom::element_type::STRING:
        return TJsonKind::String;
      case simdjson::dom::element_type::ARRAY:
        return TJsonKind::Array;
      case simdjson::dom::element_type::OBJECT:
        return TJsonKind::Object;
      default:
        return TJsonKind::Double;
    }
  }
  static bool Boolean(const Value& v) { return v.get_bool().value(); }
  static std::u16string Text(const Value& v) {
    return Utf8ToUtf16(std::string(v.get_string().value()));
  }
  static int32_t Count(const Value& v) {
    return static_cast<int32_t>(v.is_array() ? v.get_array().size() : v.get_object().size());
  }
  static auto Elements(const Value& v) {
    std::vector<Value> elements;
    const simdjson::dom::array array = v.get_array().value();
    for (const Value element : array)
      elements.push_back(element);
    return elements;
  }
  static auto Members(const Value& v) {
    std::vector<std::pair<std::u16string, Value>> members;
    const simdjson::dom::object object = v.get_object().value();
    for (const auto field : object)
      members.emplace_back(Utf8ToUtf16(std::string(field.key)), field.value);
    return members;
  }
  static bool IsInteger(const Value& v) { return v.is_int64(); }
  static int64_t Integer(const Value& v) { return v.is_int64() ? v.get_int64().value() : 0; }
  static double Real(const Value& v) { return v.get_double().value(); }
};

}  // namespace

std::string DifferenceFromRapidJson(const IJsonValue& ours, const RapidJsonUtf16Value& theirs) {
  return Compare<RapidJsonPeer>(ours, theirs);
}

std::string DifferenceFromSimdjson(const IJsonValue& ours, simdjson::dom::element theirs) {
  return Compare<SimdjsonPeer>(ours, theirs);
}

}  // namespace qelo::bench
