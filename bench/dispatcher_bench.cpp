// Posting and delivering messages on one thread: the dispatcher's per-message cost.
#include <benchmark/benchmark.h>

#include "net/dispatcher.h"
#include "net/net_wnd_control.h"

namespace {

using qelo::net::Dispatcher;
using qelo::net::TNetWndControl;

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
  benchmark::DoNotOptimize(a.sum + b.sum);
  state.SetItemsProcessed(state.iterations() * batch);
}
BENCHMARK(BM_PostAndDeliver)->Arg(2)->Arg(64)->Arg(1024);

}  // namespace

BENCHMARK_MAIN();
