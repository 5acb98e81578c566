// Posting and delivering messages on one thread: the dispatcher's per-message cost. Each
// iteration posts a batch of messages (half to each of two components), then one turn of the
// loop delivers them, so the turn's own cost (three system calls: the queue's wake-up write, the
// epoll_wait and the read that clears the wake-up) is shared by the batch.
// The summary gives messages delivered per second of CPU time (the library's items_per_second,
// which other jobs on the machine disturb less than wall time) for every batch size; the goal, 10
// million per second, is the per-message cost once that turn is shared out: the 1024-message batch.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "net/dispatcher.h"
#include "net/net_wnd_control.h"

namespace {

using qelo::net::Dispatcher;
using qelo::net::TNetWndControl;

constexpr int kGoalBatch = 1024;
constexpr double kGoalPerSecond = 10e6;

class Counter : public TNetWndControl {
 public:
  Counter() : TNetWndControl(2) {}
  void Post(intptr_t v) { PostMsg(Msg(1), 0, v); }
  int64_t sum = 0;

 protected:
  void MessageHandler(uint32_t, uintptr_t, intptr_t l) override { sum += l; }
};

// Posts a batch, then lets the loop deliver it; items are messages.
void BM_PostAndDeliver(benchmark::State& state) {
  const int batch = static_cast<int>(state.range(0));
  Counter a, b;
  Dispatcher& d = Dispatcher::current();
  for (auto _ : state) {
    for (int i = 0; i < batch; i += 2) {
      a.Post(i);
      b.Post(i);
    }
    d.processPending();
  }
  int64_t expected = 0;
  for (int i = 0; i < batch; i += 2)
    expected += i;
  if (a.sum != expected * state.iterations() || b.sum != a.sum)
    state.SkipWithError("a posted message was lost or delivered twice");
  state.SetItemsProcessed(state.iterations() * batch);
}
BENCHMARK(BM_PostAndDeliver)->Arg(2)->Arg(64)->Arg(kGoalBatch);

// Console output as usual, plus messages per second by batch size: the single run's figure, or
// with --benchmark_repetitions the mean of the repetitions.
class BatchReporter : public benchmark::ConsoleReporter {
 public:
  // Colours on a terminal only, as the library's own console output does by default.
  BatchReporter() : ConsoleReporter(isatty(STDOUT_FILENO) ? OO_ColorTabular : OO_Tabular) {}

  struct Rate {
    double value = 0;
    std::string source;
  };

  void ReportRuns(const std::vector<Run>& runs) override {
    for (const auto& run : runs) {
      auto it = run.counters.find("items_per_second");
      if (it == run.counters.end() || run.error_occurred) continue;
      const std::string& arg = run.run_name.args;  // the batch size
      if (run.run_type == Run::RT_Aggregate) {
        if (run.aggregate_name == "mean")
          rates[std::stoi(arg)] = {it->second.value,
                                   "mean of " + std::to_string(run.repetitions) + " repetitions"};
      } else if (run.repetitions <= 1) {
        rates[std::stoi(arg)] = {it->second.value, "1 run"};
      }
    }
    ConsoleReporter::ReportRuns(runs);
  }
  std::map<int, Rate> rates;  // by batch size
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  BatchReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  for (const auto& [batch, rate] : reporter.rates) {
    std::printf("posted messages delivered per CPU second, batch %4d (%s): %6.2f million", batch,
                rate.source.c_str(), rate.value / 1e6);
    if (batch == kGoalBatch)
      std::printf("  <- the goal's figure: %.0f million (%s)", kGoalPerSecond / 1e6,
                  rate.value >= kGoalPerSecond ? "met" : "NOT met");
    std::printf("\n");
  }
  benchmark::Shutdown();
  return 0;
}
