// GBK conversion in all four directions, on a 20 MiB search reply and on a 20-byte file name,
// against iconv used the plain way (open, convert, close on every call) and against one iconv
// descriptor kept open. The time ratios are printed at the end.
#include <benchmark/benchmark.h>
#include <iconv.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "search_reply.h"
#include "text/gbk.h"

namespace {

// One text in the three encodings.
struct Sample {
  std::string gbk;
  std::string utf8;
  std::u16string utf16;
};

Sample MakeSample(const std::string& utf8) {
  Sample s;
  s.utf8 = utf8;
  s.gbk = qelo::text::Utf8ToGbk(utf8);
  s.utf16 = qelo::text::GbkToUtf16(s.gbk);
  return s;
}

const Sample& Reply() {
  static const Sample reply = MakeSample(qelo::bench::MakeReplyUtf8(std::size_t{20} << 20));
  return reply;
}

// "高清电影合集_12.rmvb": 20 bytes in GBK.
const Sample& FileName() {
  static const Sample name = MakeSample("高清电影合集_12.rmvb");
  return name;
}

// --- The iconv baseline: the conversion loop the client used before its lookup tables. ---

constexpr const char* kGbk = "CP936";
constexpr const char* kUtf8 = "UTF-8";
constexpr const char* kUtf16 = std::endian::native == std::endian::little ? "UTF-16LE" : "UTF-16BE";

class Iconv {
 public:
  Iconv(const char* to, const char* from) : cd_(iconv_open(to, from)) {
    if (cd_ == reinterpret_cast<iconv_t>(-1)) throw std::runtime_error("iconv_open failed");
  }
  ~Iconv() { iconv_close(cd_); }
  Iconv(const Iconv&) = delete;
  Iconv& operator=(const Iconv&) = delete;
  iconv_t get() const { return cd_; }
  void Reset() const { iconv(cd_, nullptr, nullptr, nullptr, nullptr); }

 private:
  iconv_t cd_;
};

size_t SkipGbk(const unsigned char* p, size_t left) {
  const bool lead = p[0] >= 0x81 && p[0] <= 0xFE;
  return left >= 2 && lead && p[1] >= 0x40 && p[1] <= 0xFE && p[1] != 0x7F ? 2 : 1;
}

size_t SkipUtf16(const unsigned char* p, size_t left) {
  char16_t first, second;
  std::memcpy(&first, p, 2);
  if (first >= 0xD800 && first <= 0xDBFF && left >= 4) {
    std::memcpy(&second, p + 2, 2);
    if (second >= 0xDC00 && second <= 0xDFFF) return 4;
  }
  return left >= 2 ? 2 : left;
}

size_t SkipUtf8(const unsigned char* p, size_t left) {
  const unsigned char c = p[0];
  const size_t len = c >= 0xC2 && c <= 0xDF   ? 2
                     : c >= 0xE0 && c <= 0xEF ? 3
                     : c >= 0xF0 && c <= 0xF4 ? 4
                                              : 1;
  if (len == 1 || left < len) return 1;
  uint32_t cp = c & (0x3F >> (len - 1));
  for (size_t i = 1; i < len; ++i) {
    if ((p[i] & 0xC0) != 0x80) return 1;
    cp = (cp << 6) | (p[i] & 0x3F);
  }
  const uint32_t min = len == 2 ? 0x80 : len == 3 ? 0x800 : 0x10000;
  return cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF) ? 1 : len;
}

using SkipFn = size_t (*)(const unsigned char*, size_t);

template <typename Out>
Out IconvConvert(const Iconv& cd, std::string_view in, SkipFn skip, std::string_view replacement,
                 size_t outPerInByte) {
  using Unit = typename Out::value_type;
  Out out;
  out.resize(in.size() * outPerInByte / sizeof(Unit) + 16);
  char* inPtr = const_cast<char*>(in.data());
  size_t inLeft = in.size();
  size_t used = 0;
  auto outBytes = [&] { return out.size() * sizeof(Unit); };
  auto grow = [&](size_t atLeast) {
    out.resize(out.size() + std::max(out.size() / 2, atLeast / sizeof(Unit) + 16));
  };
  while (inLeft > 0) {
    char* outPtr = reinterpret_cast<char*>(out.data()) + used;
    size_t outLeft = outBytes() - used;
    const size_t rc = iconv(cd.get(), &inPtr, &inLeft, &outPtr, &outLeft);
    used = outBytes() - outLeft;
    if (rc != static_cast<size_t>(-1)) break;
    if (errno == E2BIG) {
      grow(16);
      continue;
    }
    const size_t drop = std::min(inLeft, skip(reinterpret_cast<unsigned char*>(inPtr), inLeft));
    inPtr += drop;
    inLeft -= drop;
    if (outBytes() - used < replacement.size()) grow(replacement.size());
    std::memcpy(reinterpret_cast<char*>(out.data()) + used, replacement.data(), replacement.size());
    used += replacement.size();
    cd.Reset();
  }
  out.resize(used / sizeof(Unit));
  return out;
}

std::string_view AsBytes(std::u16string_view s) {
  return {reinterpret_cast<const char*>(s.data()), s.size() * sizeof(char16_t)};
}

const char16_t kQuestion16[] = u"?";
const std::string_view kQuestion16Bytes = AsBytes(std::u16string_view(kQuestion16, 1));

// The four directions through a given descriptor.
std::u16string IconvGbkToUtf16(const Iconv& cd, std::string_view gbk) {
  return IconvConvert<std::u16string>(cd, gbk, SkipGbk, kQuestion16Bytes, 2);
}
std::string IconvUtf16ToGbk(const Iconv& cd, std::u16string_view text) {
  return IconvConvert<std::string>(cd, AsBytes(text), SkipUtf16, "?", 1);
}
std::string IconvUtf8ToGbk(const Iconv& cd, std::string_view utf8) {
  return IconvConvert<std::string>(cd, utf8, SkipUtf8, "?", 1);
}
std::string IconvGbkToUtf8(const Iconv& cd, std::string_view gbk) {
  return IconvConvert<std::string>(cd, gbk, SkipGbk, "?", 2);
}

// --- Benchmarks ---

enum class Way { kQelo, kIconvPerCall, kIconvCached };
constexpr const char* kWayNames[] = {"Qelo", "IconvPerCall", "IconvCached"};

// One direction: its iconv names, our function, and the baseline on a given descriptor.
struct Direction {
  const char* name;
  const char* to;
  const char* from;
  std::function<size_t(const Sample&)> qelo;
  std::function<size_t(const Iconv&, const Sample&)> iconv;
  size_t (*inputBytes)(const Sample&);
};

size_t GbkBytes(const Sample& s) {
  return s.gbk.size();
}
size_t Utf8Bytes(const Sample& s) {
  return s.utf8.size();
}
size_t Utf16Bytes(const Sample& s) {
  return s.utf16.size() * sizeof(char16_t);
}

const Direction kDirections[] = {
    {"GbkToUtf16", kUtf16, kGbk,
     [](const Sample& s) { return qelo::text::GbkToUtf16(s.gbk).size(); },
     [](const Iconv& cd, const Sample& s) { return IconvGbkToUtf16(cd, s.gbk).size(); }, GbkBytes},
    {"Utf16ToGbk", kGbk, kUtf16,
     [](const Sample& s) { return qelo::text::Utf16ToGbk(s.utf16).size(); },
     [](const Iconv& cd, const Sample& s) { return IconvUtf16ToGbk(cd, s.utf16).size(); },
     Utf16Bytes},
    {"GbkToUtf8", kUtf8, kGbk, [](const Sample& s) { return qelo::text::GbkToUtf8(s.gbk).size(); },
     [](const Iconv& cd, const Sample& s) { return IconvGbkToUtf8(cd, s.gbk).size(); }, GbkBytes},
    {"Utf8ToGbk", kGbk, kUtf8, [](const Sample& s) { return qelo::text::Utf8ToGbk(s.utf8).size(); },
     [](const Iconv& cd, const Sample& s) { return IconvUtf8ToGbk(cd, s.utf8).size(); }, Utf8Bytes},
};

void Run(benchmark::State& state, const Direction& d, Way way, const Sample& (*sample)()) {
  const Sample& s = sample();
  const Iconv cached(d.to, d.from);
  for (auto _ : state) {
    size_t units = 0;
    switch (way) {
      case Way::kQelo:
        units = d.qelo(s);
        break;
      case Way::kIconvPerCall:
        units = d.iconv(Iconv(d.to, d.from), s);
        break;
      case Way::kIconvCached:
        units = d.iconv(cached, s);
        break;
    }
    benchmark::DoNotOptimize(units);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * d.inputBytes(s)));
}

struct Input {
  const char* name;
  const Sample& (*sample)();
};
constexpr Input kInputs[] = {{"Reply20M", Reply}, {"FileName", FileName}};

std::string BenchName(const Direction& d, const Input& in, Way way) {
  return std::string(d.name) + "/" + in.name + "/" + kWayNames[static_cast<int>(way)];
}

void RegisterAll() {
  for (const Direction& d : kDirections) {
    for (const Input& in : kInputs) {
      for (Way way : {Way::kQelo, Way::kIconvPerCall, Way::kIconvCached}) {
        auto* b =
            benchmark::RegisterBenchmark(BenchName(d, in, way).c_str(), Run, d, way, in.sample);
        b->Unit(in.sample == Reply ? benchmark::kMillisecond : benchmark::kNanosecond);
      }
    }
  }
}

// Formats a time in nanoseconds with a unit that suits it.
std::string Duration(double ns) {
  char text[32];
  if (ns >= 1e6)
    std::snprintf(text, sizeof text, "%8.2f ms", ns / 1e6);
  else if (ns >= 1e4)
    std::snprintf(text, sizeof text, "%8.2f us", ns / 1e3);
  else
    std::snprintf(text, sizeof text, "%8.1f ns", ns);
  return text;
}

// Keeps each run's CPU time so the ratios can be printed after the table. CPU time rather than
// wall time: every variant is single-threaded, and on a loaded machine CPU time varies less.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      // With repetitions the median stands for the run; other aggregates are left out.
      if (run.run_type == Run::RT_Aggregate && run.aggregate_name != "median") continue;
      times_[run.run_name.str()] =
          run.GetAdjustedCPUTime() * 1e9 / benchmark::GetTimeUnitMultiplier(run.time_unit);
    }
  }
  void PrintRatios() const {
    std::printf("\nCPU time per call, and how many times faster qelo is than each iconv way:\n");
    for (const Input& in : kInputs) {
      for (const Direction& d : kDirections) {
        const double qelo = Time(BenchName(d, in, Way::kQelo));
        const double perCall = Time(BenchName(d, in, Way::kIconvPerCall));
        const double cached = Time(BenchName(d, in, Way::kIconvCached));
        if (qelo <= 0 || perCall <= 0 || cached <= 0) continue;
        std::printf("  %-8s %-10s qelo %s  iconv per call %s (x%.2f)  iconv kept open %s (x%.2f)\n",
                    in.name, d.name, Duration(qelo).c_str(), Duration(perCall).c_str(),
                    perCall / qelo, Duration(cached).c_str(), cached / qelo);
      }
    }
  }

 private:
  double Time(const std::string& name) const {
    const auto it = times_.find(name);
    return it == times_.end() ? 0 : it->second;
  }
  std::map<std::string, double> times_;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  RegisterAll();
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.PrintRatios();
  benchmark::Shutdown();
  return 0;
}
