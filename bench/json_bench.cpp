// Parsing search replies of about 1 MB and 20 MB and reading every key of every result, against
// nlohmann::json, RapidJSON (UTF-16 and UTF-8 input) and simdjson (DOM and On-Demand, UTF-8
// input only) on the same document; ours and nlohmann also with the conversion from GBK.
// Throughput is counted in bytes of the GBK reply for every variant.
//
// Every variant tallies what it read (elements, members found, the sums of file_size and
// file_views, the code points of the string members); the tallies must agree, first once before
// any timing and then in every timed run, or the program says so and exits with status 1. The
// summary at the end gives each variant's time per parse and our speed relative to each peer.
// The ...ParseOnly variants parse and count the elements without reading a member, to tell the
// reading apart from the parsing; ours reads through MemberText, which copies every text out.
//
// Documents of other shapes (json_shapes.h: numbers, a catalog of many object shapes, a social
// feed) are parsed only, from UTF-16 by ours and RapidJSON and from UTF-8 by simdjson; before any
// timing each parser's document must equal ours value for value (json_shape_check.h).
#include <benchmark/benchmark.h>
#include <rapidjson/document.h>
#include <simdjson.h>

#include <cstdio>
#include <functional>
#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>
#include <vector>

#include "json/json.h"
#include "json_shape_check.h"
#include "json_shapes.h"
#include "search_reply.h"
#include "text/gbk.h"

namespace {

struct Key {
  const char* name;
  bool number;  // read as a 64-bit integer, otherwise as text
};

constexpr Key kKeys[] = {{"file_name", false},  {"file_extension", false}, {"file_size", true},
                         {"file_value", false}, {"file_views", true},      {"file_time", false},
                         {"s_url", false},      {"file_id", false}};

struct Reply {
  std::string gbk;
  std::string utf8;
  std::u16string utf16;
  simdjson::padded_string padded;  // simdjson reads past the end of its input
};

const Reply& ReplyOf(std::size_t megabytes) {
  static std::map<std::size_t, Reply> replies;
  Reply& r = replies[megabytes];
  if (r.gbk.empty()) {
    r.gbk = qelo::text::Utf8ToGbk(qelo::bench::MakeReplyUtf8(megabytes << 20));
    r.utf8 = qelo::text::GbkToUtf8(r.gbk);
    r.utf16 = qelo::text::GbkToUtf16(r.gbk);
    r.padded = simdjson::padded_string(r.utf8);
  }
  return r;
}

// What a reader took from a reply; equal tallies mean equal values were read.
struct Tally {
  int64_t elements = 0;
  int64_t members = 0;  // keys found with a non-empty value
  int64_t number_sum = 0;
  int64_t code_points = 0;
  bool operator==(const Tally&) const = default;

  void Number(int64_t value) {
    ++members;
    number_sum += value;
  }
  void Text(std::string_view utf8) {
    if (utf8.empty()) return;
    ++members;
    for (char c : utf8)
      code_points += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  }
  void Text(std::u16string_view utf16) {
    if (utf16.empty()) return;
    ++members;
    for (char16_t u : utf16)
      code_points += u < 0xDC00 || u > 0xDFFF;
  }
};

template <class Char>
std::basic_string<Char> Widen(const char* ascii) {
  std::basic_string<Char> out;
  for (; *ascii; ++ascii)
    out.push_back(static_cast<Char>(*ascii));
  return out;
}

// Ours: exactly the calls the result list makes, MemberText for every key; numbers come back
// as their decimal text.
Tally ReadQelo(const qelo::json::IJsonValue& reply) {
  using namespace qelo::json;
  static const std::vector<std::u16string> keys = [] {
    std::vector<std::u16string> k;
    for (const Key& key : kKeys)
      k.push_back(Widen<char16_t>(key.name));
    return k;
  }();
  Tally tally;
  const TJsonArray* list = ArrayOf(reply);
  for (int32_t i = 0; i < ElementCount(list); ++i, ++tally.elements) {
    const IJsonValue item = ElementAt(list, i);
    for (std::size_t k = 0; k < keys.size(); ++k) {
      const std::u16string text = MemberText(item, keys[k]);
      if (!kKeys[k].number) {
        tally.Text(text);
        continue;
      }
      int64_t value = 0;
      for (char16_t u : text)
        value = value * 10 + (u - u'0');
      if (!text.empty()) tally.Number(value);
    }
  }
  return tally;
}

Tally ReadNlohmann(const nlohmann::json& reply) {
  Tally tally;
  for (const nlohmann::json& item : reply) {
    ++tally.elements;
    for (const Key& key : kKeys) {
      const auto it = item.find(key.name);
      if (it == item.end()) continue;
      if (key.number) {
        tally.Number(it->get<int64_t>());
      } else {
        tally.Text(it->get_ref<const std::string&>());
      }
    }
  }
  return tally;
}

template <class Encoding>
Tally ReadRapidJson(const rapidjson::GenericDocument<Encoding>& reply) {
  using Ch = typename Encoding::Ch;
  static const std::vector<std::basic_string<Ch>> keys = [] {
    std::vector<std::basic_string<Ch>> k;
    for (const Key& key : kKeys)
      k.push_back(Widen<Ch>(key.name));
    return k;
  }();
  Tally tally;
  if (!reply.IsArray()) return tally;
  for (const auto& item : reply.GetArray()) {
    ++tally.elements;
    for (std::size_t k = 0; k < keys.size(); ++k) {
      const auto it = item.FindMember(keys[k].c_str());
      if (it == item.MemberEnd()) continue;
      if (kKeys[k].number) {
        tally.Number(it->value.GetInt64());
      } else {
        tally.Text(std::basic_string_view<Ch>(it->value.GetString(), it->value.GetStringLength()));
      }
    }
  }
  return tally;
}

Tally ReadSimdjsonDom(simdjson::dom::element reply) {
  Tally tally;
  for (simdjson::dom::element item : reply.get_array()) {
    ++tally.elements;
    const simdjson::dom::object object = item.get_object();
    for (const Key& key : kKeys) {
      const auto value = object.at_key(key.name);
      if (value.error()) continue;
      if (key.number) {
        tally.Number(value.get_int64().value());
      } else {
        tally.Text(value.get_string().value());
      }
    }
  }
  return tally;
}

Tally ReadSimdjsonOnDemand(simdjson::ondemand::document& reply) {
  Tally tally;
  for (auto item : reply.get_array()) {
    ++tally.elements;
    simdjson::ondemand::object object = item.get_object();
    for (const Key& key : kKeys) {
      auto value = object.find_field_unordered(key.name);
      if (value.error()) continue;
      if (key.number) {
        tally.Number(value.get_int64().value());
      } else {
        tally.Text(value.get_string().value());
      }
    }
  }
  return tally;
}

// One parse and read of the reply of the given size, from the input form the parser takes.
using Reader = std::function<Tally(const Reply&)>;

struct Variant {
  const char* name;
  const char* ours;  // the variant of ours this one is compared with, or nullptr for ours
  const char* input;
  Reader read;
  bool parse_only = false;  // reads no member: only the elements are counted
};

// Parsing alone, for comparison: the element count is the whole tally.
Tally Elements(int64_t count) {
  Tally tally;
  tally.elements = count;
  return tally;
}

const std::vector<Variant>& Variants() {
  static const std::vector<Variant> variants = {
      {"Qelo", nullptr, "UTF-16",
       [](const Reply& r) { return ReadQelo(qelo::json::ParseJsonText(r.utf16)); }},
      {"QeloFromGbk", nullptr, "GBK, converted to UTF-16 in the run",
       [](const Reply& r) {
         return ReadQelo(qelo::json::ParseJsonText(qelo::text::GbkToUtf16(r.gbk)));
       }},
      {"Nlohmann", "Qelo", "UTF-8",
       [](const Reply& r) { return ReadNlohmann(nlohmann::json::parse(r.utf8)); }},
      {"NlohmannFromGbk", "QeloFromGbk", "GBK, converted to UTF-8 in the run",
       [](const Reply& r) {
         return ReadNlohmann(nlohmann::json::parse(qelo::text::GbkToUtf8(r.gbk)));
       }},
      {"RapidJsonUtf16", "Qelo", "UTF-16",
       [](const Reply& r) {
         rapidjson::GenericDocument<rapidjson::UTF16<char16_t>> doc;
         doc.Parse(r.utf16.c_str());  // the length form of 1.1 takes no UTF-16
         return ReadRapidJson(doc);
       }},
      {"RapidJsonUtf8", "Qelo", "UTF-8",
       [](const Reply& r) {
         rapidjson::Document doc;
         doc.Parse(r.utf8.c_str());
         return ReadRapidJson(doc);
       }},
      {"SimdjsonDom", "Qelo", "UTF-8 only (simdjson reads no UTF-16); one parser kept across runs",
       [](const Reply& r) {
         static simdjson::dom::parser parser;
         return ReadSimdjsonDom(parser.parse(r.padded).value());
       }},
      {"SimdjsonOnDemand", "Qelo",
       "UTF-8 only (simdjson reads no UTF-16); one parser kept across runs",
       [](const Reply& r) {
         static simdjson::ondemand::parser parser;
         simdjson::ondemand::document doc = parser.iterate(r.padded).value();
         return ReadSimdjsonOnDemand(doc);
       }},
      // On-Demand parses only what is read, so it has no parse-only figure.
      {"QeloParseOnly", nullptr, "UTF-16",
       [](const Reply& r) {
         return Elements(
             qelo::json::ElementCount(qelo::json::ArrayOf(qelo::json::ParseJsonText(r.utf16))));
       },
       true},
      {"RapidJsonUtf16ParseOnly", "QeloParseOnly", "UTF-16",
       [](const Reply& r) {
         rapidjson::GenericDocument<rapidjson::UTF16<char16_t>> doc;
         doc.Parse(r.utf16.c_str());
         return Elements(doc.IsArray() ? doc.Size() : 0);
       },
       true},
      {"SimdjsonDomParseOnly", "QeloParseOnly", "UTF-8 only; one parser kept across runs",
       [](const Reply& r) {
         static simdjson::dom::parser parser;
         return Elements(static_cast<int64_t>(parser.parse(r.padded).get_array().size()));
       },
       true},
  };
  return variants;
}

constexpr std::size_t kSizes[] = {1, 20};
std::map<std::size_t, Tally> expected;  // by size, from the first variant
bool mismatch = false;

std::string Describe(const Tally& t) {
  char text[160];
  std::snprintf(text, sizeof text, "elements %lld, members %lld, number sum %lld, code points %lld",
                static_cast<long long>(t.elements), static_cast<long long>(t.members),
                static_cast<long long>(t.number_sum), static_cast<long long>(t.code_points));
  return text;
}

// A document of another shape, in the input forms the parsers take.
struct Shape {
  const char* name;
  std::string utf8;
  std::u16string utf16;
  simdjson::padded_string padded;
};

constexpr std::size_t kShapeBytes = 6 << 20;

std::vector<Shape>& Shapes() {
  static std::vector<Shape> shapes = [] {
    std::vector<Shape> made;
    const std::pair<const char*, std::string (*)(std::size_t)> makers[] = {
        {"numbers", qelo::bench::MakeCoordinatesUtf8},
        {"catalog", qelo::bench::MakeCatalogUtf8},
        {"feed", qelo::bench::MakeFeedUtf8}};
    for (const auto& [name, make] : makers) {
      Shape& shape = made.emplace_back();
      shape.name = name;
      shape.utf8 = make(kShapeBytes);
      shape.utf16 = qelo::bench::Utf8ToUtf16(shape.utf8);
      shape.padded = simdjson::padded_string(shape.utf8);
    }
    return made;
  }();
  return shapes;
}

// Parse only; each returns whether the document's root is a container, so nothing is elided.
struct ShapeParser {
  const char* name;
  bool (*parse)(const Shape&);
};

const ShapeParser kShapeParsers[] = {
    {"QeloParseOnly",
     [](const Shape& s) {
       const auto kind = qelo::json::KindOf(qelo::json::ParseJsonText(s.utf16));
       return kind == qelo::json::TJsonKind::Object || kind == qelo::json::TJsonKind::Array;
     }},
    {"RapidJsonUtf16ParseOnly",
     [](const Shape& s) {
       rapidjson::GenericDocument<rapidjson::UTF16<char16_t>> doc;
       doc.Parse(s.utf16.c_str());
       return doc.IsObject() || doc.IsArray();
     }},
    {"SimdjsonDomParseOnly",
     [](const Shape& s) {
       static simdjson::dom::parser parser;
       const auto root = parser.parse(s.padded);
       return !root.error() && (root.is_object() || root.is_array());
     }},
};

// Every shape read by ours, RapidJSON and simdjson must give the same values.
bool CheckShapes() {
  bool agree = true;
  for (const Shape& shape : Shapes()) {
    const qelo::json::IJsonValue ours = qelo::json::ParseJsonText(shape.utf16);
    rapidjson::GenericDocument<rapidjson::UTF16<char16_t>> rapid;
    rapid.Parse(shape.utf16.c_str());
    simdjson::dom::parser parser;
    const simdjson::dom::element simd = parser.parse(shape.padded).value();
    std::string difference = rapid.HasParseError()
                                 ? "RapidJSON: parse error"
                                 : qelo::bench::DifferenceFromRapidJson(ours, rapid);
    if (difference.empty()) difference = qelo::bench::DifferenceFromSimdjson(ours, simd);
    if (!difference.empty()) {
      std::fprintf(stderr, "MISMATCH: %s document: %s\n", shape.name, difference.c_str());
      agree = false;
    }
    std::printf("%s document: %zu bytes UTF-8, %zu units UTF-16%s\n", shape.name, shape.utf8.size(),
                shape.utf16.size(), difference.empty() ? ", agree" : "");
  }
  return agree;
}

void RunShape(benchmark::State& state, const ShapeParser& parser, const Shape& shape) {
  for (auto _ : state) {
    if (!parser.parse(shape)) {
      mismatch = true;
      state.SkipWithError("no document read");
      break;
    }
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * shape.utf8.size()));
}

// Every variant reads every reply once before any timing; all must agree with the first.
bool CheckAgreement() {
  bool agree = true;
  for (std::size_t size : kSizes) {
    const Reply& reply = ReplyOf(size);
    for (const Variant& v : Variants()) {
      const Tally tally = v.read(reply);
      if (expected.count(size) && v.parse_only) {
        if (!(tally == Elements(expected[size].elements))) {
          std::fprintf(stderr, "MISMATCH: %s on the %zu MB reply counted %lld elements\n", v.name,
                       size, static_cast<long long>(tally.elements));
          agree = false;
        }
      } else if (!expected.count(size)) {
        expected[size] = tally;
        std::printf("%zu MB reply (%zu bytes GBK, %zu units UTF-16): %s\n", size, reply.gbk.size(),
                    reply.utf16.size(), Describe(tally).c_str());
      } else if (!(tally == expected[size])) {
        std::fprintf(stderr, "MISMATCH: %s on the %zu MB reply read %s, expected %s\n", v.name,
                     size, Describe(tally).c_str(), Describe(expected[size]).c_str());
        agree = false;
      }
    }
  }
  if (expected.begin()->second.elements == 0) {
    std::fprintf(stderr, "MISMATCH: no elements read\n");
    agree = false;
  }
  return agree;
}

void Run(benchmark::State& state, const Variant& variant) {
  const std::size_t size = static_cast<std::size_t>(state.range(0));
  const Reply& reply = ReplyOf(size);
  for (auto _ : state) {
    const Tally tally = variant.read(reply);
    if (!(tally == (variant.parse_only ? Elements(expected[size].elements) : expected[size]))) {
      mismatch = true;
      state.SkipWithError("read other values than the other parsers");
      break;
    }
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * reply.gbk.size()));
}

// Keeps each run's CPU time per iteration so the summary can be printed after the table.
class SummaryReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      if (run.error_occurred) continue;
      // With repetitions the median stands for the run; other aggregates are left out.
      if (run.run_type == Run::RT_Aggregate && run.aggregate_name != "median") continue;
      const double ms = run.GetAdjustedCPUTime() *
                        benchmark::GetTimeUnitMultiplier(benchmark::kMillisecond) /
                        benchmark::GetTimeUnitMultiplier(run.time_unit);
      ms_[run.run_name.str()] = ms;
    }
  }

  void PrintShapes() const {
    std::printf(
        "\nCPU ms per parse only, other shapes (%zu MiB of UTF-8 each), and ours relative to "
        "each peer (above 1: ours is faster)\n",
        kShapeBytes >> 20);
    for (const Shape& shape : Shapes()) {
      const double ours = ShapeMs(kShapeParsers[0].name, shape);
      for (const ShapeParser& parser : kShapeParsers) {
        const double ms = ShapeMs(parser.name, shape);
        if (ms <= 0) continue;
        char versus[64] = "";
        if (&parser != &kShapeParsers[0] && ours > 0)
          std::snprintf(versus, sizeof versus, "ours %.2fx", ms / ours);
        std::printf("    %-8s %-24s %9.2f ms   %s\n", shape.name, parser.name, ms, versus);
      }
    }
  }

  void PrintSummary() const {
    std::printf(
        "\nCPU ms per parse and read (median with repetitions), and how many times as "
        "fast ours is as each peer on the same reply (above 1: ours is faster)\n");
    for (std::size_t size : kSizes) {
      std::printf("  %zu MB reply:\n", size);
      for (const Variant& v : Variants()) {
        const double ms = Ms(v.name, size);
        if (ms <= 0) continue;
        const double ours = v.ours ? Ms(v.ours, size) : 0;
        char versus[64] = "";
        if (ours > 0) std::snprintf(versus, sizeof versus, "%s %.2fx", v.ours, ms / ours);
        std::printf("    %-24s %9.2f ms   %-22s  input %s\n", v.name, ms, versus, v.input);
      }
    }
  }

 private:
  double ShapeMs(const char* parser, const Shape& shape) const {
    const auto it = ms_.find(std::string(parser) + "/" + shape.name);
    return it == ms_.end() ? 0 : it->second;
  }
  double Ms(const char* name, std::size_t size) const {
    const auto it = ms_.find(std::string(name) + "/" + std::to_string(size));
    return it == ms_.end() ? 0 : it->second;
  }
  std::map<std::string, double> ms_;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (!CheckAgreement() || !CheckShapes()) return 1;
  for (const Variant& v : Variants()) {
    auto* b = benchmark::RegisterBenchmark(v.name, [&v](benchmark::State& s) { Run(s, v); });
    for (std::size_t size : kSizes)
      b->Arg(static_cast<int64_t>(size));
    b->Unit(benchmark::kMillisecond);
  }
  for (const Shape& shape : Shapes()) {
    for (const ShapeParser& parser : kShapeParsers) {
      const std::string name = std::string(parser.name) + "/" + shape.name;
      benchmark::RegisterBenchmark(name.c_str(), [&parser, &shape](benchmark::State& s) {
        RunShape(s, parser, shape);
      })->Unit(benchmark::kMillisecond);
    }
  }
  SummaryReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.PrintSummary();
  reporter.PrintShapes();
  benchmark::Shutdown();
  if (mismatch) {
    std::fprintf(stderr, "MISMATCH: a parser read other values in a timed run\n");
    return 1;
  }
  return 0;
}
