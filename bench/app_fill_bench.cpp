// Reply to rows for a 10,000-result search reply: the Qt-free listing alone (parse, member
// texts, GBK conversion, sizes), and the main window's FillResults (the same plus the list).
// Goal: under 300 ms for the whole fill.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>

#include "app/main_form.h"
#include "app/search_rows.h"
#include "text/gbk.h"
#include "ui/application.h"

namespace {

std::string MakeReply(int count) {
  std::string utf8 = "[";
  for (int i = 0; i < count; ++i) {
    if (i) utf8 += ',';
    const std::string n = std::to_string(i);
    utf8 += R"({"file_id":")" + n + R"(","file_name":"2013年英语四级真题)" + n +
            R"(.pdf","file_extension":"pdf","file_size":")" + std::to_string(1000 + i * 7919) +
            R"(","file_value":")" + std::to_string(i % 101) + R"(","file_views":)" +
            std::to_string(i * 13) +
            R"(,"file_time":"2013-09-11 12:00:00","s_url":"http://pan.example.com/s/)" + n +
            R"("})";
  }
  utf8 += ']';
  return qelo::text::Utf8ToGbk(utf8);
}

const std::string& Reply() {
  static const std::string reply = MakeReply(10000);
  return reply;
}

void BM_ListSearchReply10k(benchmark::State& state) {
  for (auto _ : state) {
    qelo::app::SearchListing listing = qelo::app::ListSearchReply(Reply());
    benchmark::DoNotOptimize(listing.rows.data());
  }
  state.SetItemsProcessed(state.iterations() * 10000);
}
BENCHMARK(BM_ListSearchReply10k)->Unit(benchmark::kMillisecond);

void BM_FillResults10k(benchmark::State& state) {
  qelo::app::TMainForm form;
  for (auto _ : state) {
    const bool complete = form.FillResults(Reply());
    benchmark::DoNotOptimize(complete);
  }
  state.SetItemsProcessed(state.iterations() * 10000);
}
BENCHMARK(BM_FillResults10k)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  qelo::ui::TApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
