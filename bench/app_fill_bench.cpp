// Reply to rows for search replies of 1,000, 10,000 and 100,000 results: the Qt-free listing
// alone (parse, member texts, GBK conversion, sizes), and the main window's FillResults (the same
// plus the list, also with the window shown). Goal: at most 4 us per row for the whole fill, the
// same per row at every size.
#include <benchmark/benchmark.h>

#include <QApplication>

#include <cstdlib>
#include <map>
#include <string>

#include "app/main_form.h"
#include "appcore/search_rows.h"
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

// One reply per size, made once.
const std::string& Reply(int count) {
  static std::map<int, std::string> replies;
  auto it = replies.find(count);
  if (it == replies.end()) it = replies.emplace(count, MakeReply(count)).first;
  return it->second;
}

void RowArgs(benchmark::internal::Benchmark* b) {
  b->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
}

void BM_ListSearchReply(benchmark::State& state) {
  const std::string& reply = Reply(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    qelo::app::SearchListing listing = qelo::app::ListSearchReply(reply);
    benchmark::DoNotOptimize(listing.rows.data());
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_ListSearchReply)->Apply(RowArgs);

// The listing in the compact form the main window keeps.
void BM_ListSearchTable(benchmark::State& state) {
  const std::string& reply = Reply(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    qelo::app::SearchTable listing = qelo::app::ListSearchTable(reply);
    benchmark::DoNotOptimize(listing.rows.RowCount());
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_ListSearchTable)->Apply(RowArgs);

void BM_FillResults(benchmark::State& state) {
  const std::string& reply = Reply(static_cast<int>(state.range(0)));
  qelo::app::TMainForm form;
  for (auto _ : state) {
    const bool complete = form.FillResults(reply);
    benchmark::DoNotOptimize(complete);
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_FillResults)->Apply(RowArgs);

// The same with the window on screen, until the list has laid out and painted its first rows.
void BM_FillResultsShown(benchmark::State& state) {
  const std::string& reply = Reply(static_cast<int>(state.range(0)));
  qelo::app::TMainForm form;
  form.show();
  QApplication::processEvents();
  for (auto _ : state) {
    const bool complete = form.FillResults(reply);
    QApplication::processEvents();
    benchmark::DoNotOptimize(complete);
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_FillResultsShown)->Apply(RowArgs);

}  // namespace

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  qelo::ui::TApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
