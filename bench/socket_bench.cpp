// Bulk receive over loopback: TAsyncSocket on the dispatcher against a plain blocking recv()
// loop, same sender, same amount, same run. Prints the throughput ratio at the end.
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "net/async_socket.h"
#include "net/dispatcher.h"

namespace {

constexpr size_t kTransfer = 64u << 20;  // bytes per connection
constexpr size_t kReadBuffer = 64u << 10;

// Listens on 127.0.0.1 at a free port; one thread accepts one connection and sends kTransfer
// bytes as fast as the receiver takes them, then closes.
class BulkSender {
 public:
  BulkSender() {
    listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    ::bind(listenFd_, reinterpret_cast<sockaddr*>(&a), sizeof a);
    ::listen(listenFd_, 1);
    ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&a), &len);
    port_ = ntohs(a.sin_port);
    thread_ = std::thread([this] { Run(); });
  }
  ~BulkSender() {
    thread_.join();
    ::close(listenFd_);
  }
  uint16_t Port() const { return port_; }

 private:
  void Run() {
    const int fd = ::accept(listenFd_, nullptr, nullptr);
    if (fd < 0) return;
    std::vector<char> block(256u << 10, 'x');
    size_t left = kTransfer;
    while (left > 0) {
      const ssize_t n = ::send(fd, block.data(), std::min(left, block.size()), MSG_NOSIGNAL);
      if (n <= 0) break;
      left -= static_cast<size_t>(n);
    }
    ::close(fd);
  }

  int listenFd_ = -1;
  uint16_t port_ = 0;
  std::thread thread_;
};

void PlainRecvLoop(benchmark::State& state) {
  std::vector<char> buf(kReadBuffer);
  for (auto _ : state) {
    BulkSender sender;
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(sender.Port());
    if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
      state.SkipWithError("connect failed");
      ::close(fd);
      break;
    }
    size_t total = 0;
    ssize_t n;
    while ((n = ::recv(fd, buf.data(), buf.size(), 0)) > 0)
      total += static_cast<size_t>(n);
    ::close(fd);
    if (total != kTransfer) state.SkipWithError("short transfer");
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kTransfer));
}

void AsyncSocketReceive(benchmark::State& state) {
  using namespace qelo::net;
  std::vector<char> buf(kReadBuffer);
  Dispatcher& d = Dispatcher::current();
  for (auto _ : state) {
    BulkSender sender;
    TAsyncSocket sock;
    size_t total = 0;
    bool closed = false;
    bool failed = false;
    sock.OnSessionConnected = [&](TAsyncSocket*, uint16_t e) { failed = failed || e != 0; };
    sock.OnDataAvailable = [&](TAsyncSocket* s, uint16_t) {
      int n;
      while ((n = s->Receive(buf.data(), static_cast<int>(buf.size()))) > 0)
        total += static_cast<size_t>(n);
    };
    sock.OnSessionClosed = [&](TAsyncSocket*, uint16_t) { closed = true; };
    sock.OnError = [&](TAsyncSocket*) { failed = true; };
    sock.SetAddr("127.0.0.1");
    sock.SetPort(std::to_string(sender.Port()));
    sock.Connect();
    while (!closed && !failed)
      d.runOnce(1000);
    if (failed || total != kTransfer) state.SkipWithError("transfer failed");
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kTransfer));
}

BENCHMARK(PlainRecvLoop)->Unit(benchmark::kMillisecond)->MinTime(1.0)->UseRealTime();
BENCHMARK(AsyncSocketReceive)->Unit(benchmark::kMillisecond)->MinTime(1.0)->UseRealTime();

// Console output as usual, plus the bytes per second of each benchmark for the ratio: the single
// run's figure, or with --benchmark_repetitions the mean of the repetitions (never another
// aggregate such as the standard deviation, which is reported in the same counter).
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  // Colours on a terminal only, as the library's own console output does by default.
  RatioReporter() : ConsoleReporter(isatty(STDOUT_FILENO) ? OO_ColorTabular : OO_Tabular) {}

  struct Rate {
    double value = 0;
    std::string source;  // "1 run" or "mean of N repetitions"
  };

  void ReportRuns(const std::vector<Run>& runs) override {
    for (const auto& run : runs) {
      auto it = run.counters.find("bytes_per_second");
      if (it == run.counters.end() || run.error_occurred) continue;
      Rate& rate = rates[run.run_name.function_name];
      if (run.run_type == Run::RT_Aggregate) {
        if (run.aggregate_name == "mean")
          rate = {it->second.value, "mean of " + std::to_string(run.repetitions) + " repetitions"};
      } else if (run.repetitions <= 1) {
        rate = {it->second.value, "1 run"};
      }
    }
    ConsoleReporter::ReportRuns(runs);
  }
  std::map<std::string, Rate> rates;  // by benchmark function
};

}  // namespace

int main(int argc, char** argv) {
  constexpr double kMiB = 1024.0 * 1024.0;
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  const RatioReporter::Rate plain = reporter.rates["PlainRecvLoop"];
  const RatioReporter::Rate async = reporter.rates["AsyncSocketReceive"];
  if (plain.value > 0 && async.value > 0) {
    std::printf(
        "bulk receive over loopback (%s): TAsyncSocket %.0f MiB/s, plain recv() %.0f MiB/s, "
        "ratio %.2f (goal >= 0.70)\n",
        async.source.c_str(), async.value / kMiB, plain.value / kMiB, async.value / plain.value);
  }
  benchmark::Shutdown();
  return 0;
}
