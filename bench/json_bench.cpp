// Parsing search replies of about 1 MB and 20 MB and reading every key of every result, against
// nlohmann::json on the same document; with and without the conversion from GBK. Throughput is
// counted in bytes of the GBK reply for every variant; the ratios are printed at the end.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <nlohmann/json.hpp>
#include <random>
#include <string>
#include <vector>

#include "json/json.h"
#include "text/gbk.h"

namespace {

constexpr const char* kKeys[] = {"file_name",  "file_extension", "file_size", "file_value",
                                 "file_views", "file_time",      "s_url",     "file_id"};

// A reply of at least `bytes` bytes, in UTF-8: an array of search results with Chinese names.
std::string MakeReplyUtf8(std::size_t bytes) {
  static const char* const kWords[] = {"电影", "合集", "高清", "教程", "资料", "音乐",
                                       "软件", "学习", "经典", "全集", "中文", "字幕"};
  static const char* const kExtensions[] = {"rar", "zip", "mp4", "pdf", "exe", "mkv"};
  std::mt19937 random(20130911);
  std::string out = "[";
  for (int n = 0; out.size() < bytes; ++n) {
    if (n) out += ",";
    std::string name;
    for (int w = 0; w < 4; ++w)
      name += kWords[random() % 12];
    const char* extension = kExtensions[random() % 6];
    out += "{\"file_id\":\"" + std::to_string(100000 + n) + "\",\"file_name\":\"" + name + "_" +
           std::to_string(n) + "." + extension + "\",\"file_extension\":\"" + extension +
           "\",\"file_size\":" + std::to_string(random() % 2000000000) + ",\"file_value\":\"" +
           std::to_string(random() % 10) + "." + std::to_string(random() % 10) +
           "\",\"file_views\":" + std::to_string(random() % 100000) +
           ",\"file_time\":\"2013-09-11 12:" + std::to_string(10 + random() % 50) +
           ":00\",\"s_url\":\"http:\\/\\/pan.example.com\\/s\\/" + std::to_string(random()) + "\"}";
  }
  return out + "]";
}

struct Reply {
  std::string gbk;
  std::string utf8;
  std::u16string utf16;
};

const Reply& ReplyOf(std::size_t megabytes) {
  static std::map<std::size_t, Reply> replies;
  Reply& r = replies[megabytes];
  if (r.gbk.empty()) {
    r.gbk = qelo::text::Utf8ToGbk(MakeReplyUtf8(megabytes << 20));
    r.utf8 = qelo::text::GbkToUtf8(r.gbk);
    r.utf16 = qelo::text::GbkToUtf16(r.gbk);
  }
  return r;
}

std::size_t ReadQelo(const qelo::json::IJsonValue& reply) {
  using namespace qelo::json;
  const TJsonArray* list = ArrayOf(reply);
  std::size_t units = 0;
  std::u16string keys[std::size(kKeys)];
  for (std::size_t k = 0; k < std::size(kKeys); ++k) {
    for (const char* c = kKeys[k]; *c; ++c)
      keys[k].push_back(static_cast<char16_t>(*c));
  }
  for (int32_t i = 0; i < ElementCount(list); ++i) {
    const IJsonValue item = ElementAt(list, i);
    for (const std::u16string& key : keys)
      units += MemberText(item, key).size();
  }
  return units;
}

std::size_t ReadNlohmann(const nlohmann::json& reply) {
  std::size_t bytes = 0;
  for (const nlohmann::json& item : reply) {
    for (const char* key : kKeys) {
      const auto it = item.find(key);
      if (it == item.end()) continue;
      bytes += it->is_string() ? it->get_ref<const std::string&>().size() : it->dump().size();
    }
  }
  return bytes;
}

void Qelo(benchmark::State& state, bool convert) {
  const Reply& reply = ReplyOf(static_cast<std::size_t>(state.range(0)));
  for (auto _ : state) {
    const std::u16string converted = convert ? qelo::text::GbkToUtf16(reply.gbk) : std::u16string();
    const qelo::json::IJsonValue value =
        qelo::json::ParseJsonText(convert ? converted : reply.utf16);
    benchmark::DoNotOptimize(ReadQelo(value));
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * reply.gbk.size()));
}

void Nlohmann(benchmark::State& state, bool convert) {
  const Reply& reply = ReplyOf(static_cast<std::size_t>(state.range(0)));
  for (auto _ : state) {
    const std::string converted = convert ? qelo::text::GbkToUtf8(reply.gbk) : std::string();
    const nlohmann::json value = nlohmann::json::parse(convert ? converted : reply.utf8);
    benchmark::DoNotOptimize(ReadNlohmann(value));
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * reply.gbk.size()));
}

void QeloPlain(benchmark::State& s) {
  Qelo(s, false);
}
void QeloFromGbk(benchmark::State& s) {
  Qelo(s, true);
}
void NlohmannPlain(benchmark::State& s) {
  Nlohmann(s, false);
}
void NlohmannFromGbk(benchmark::State& s) {
  Nlohmann(s, true);
}

BENCHMARK(QeloPlain)->Arg(1)->Arg(20)->Unit(benchmark::kMillisecond);
BENCHMARK(NlohmannPlain)->Arg(1)->Arg(20)->Unit(benchmark::kMillisecond);
BENCHMARK(QeloFromGbk)->Arg(1)->Arg(20)->Unit(benchmark::kMillisecond);
BENCHMARK(NlohmannFromGbk)->Arg(1)->Arg(20)->Unit(benchmark::kMillisecond);

// Keeps each run's throughput so the ratios can be printed after the table.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      // With repetitions the median stands for the run; other aggregates are left out.
      if (run.run_type == Run::RT_Aggregate && run.aggregate_name != "median") continue;
      const auto it = run.counters.find("bytes_per_second");
      if (it != run.counters.end()) rates_[run.run_name.str()] = it->second.value;
    }
  }
  void PrintRatios() const {
    std::printf("\nMB/s (MiB of GBK reply per second) and qelo / nlohmann ratio:\n");
    for (const char* size : {"1", "20"}) {
      for (const char* kind : {"Plain", "FromGbk"}) {
        const double qelo = Rate(std::string("Qelo") + kind + "/" + size);
        const double other = Rate(std::string("Nlohmann") + kind + "/" + size);
        if (qelo <= 0 || other <= 0) continue;
        std::printf("  %2s MB %-8s qelo %8.1f  nlohmann %8.1f  ratio %.2f\n", size, kind,
                    qelo / (1 << 20), other / (1 << 20), qelo / other);
      }
    }
  }

 private:
  double Rate(const std::string& name) const {
    const auto it = rates_.find(name);
    return it == rates_.end() ? 0 : it->second;
  }
  std::map<std::string, double> rates_;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.PrintRatios();
  benchmark::Shutdown();
  return 0;
}
