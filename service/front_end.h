// The service's connection front end: one thread waits on every connection with epoll and takes
// in each request whole (head within a short time, then a bounded body) before a worker sees it,
// so slow, idle or oversized clients cost a few bytes of state instead of a worker each. Workers
// answer one request at a time and give a kept-alive connection back to the waiting thread.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <unordered_map>
#include <vector>

#include "reply_stream.h"
#include "request_head.h"
#include "skin_files.h"

namespace qelo::service {

struct FrontEndOptions {
  size_t workers = 8;
  RequestLimits limits;
  // From the accept, or from the end of the previous reply, to a complete request head.
  std::chrono::milliseconds head_timeout{5000};
  // From the complete head to the whole body.
  std::chrono::milliseconds body_timeout{10000};
  // A reply whose connection takes no byte for this long is given up.
  std::chrono::milliseconds write_stall{5000};
  // Connections beyond this are closed as soon as they are accepted.
  size_t max_connections = 768;
  size_t max_requests_per_connection = 100;
};

class FrontEnd {
 public:
  // Serves one request read whole into `stream`; `close_connection` asks for the connection to
  // end with this reply, `connection_closed` tells that the request asked for it. `range` is the
  // request's Range value, kept out of the head. False when the reply could not be written.
  using Handler = std::function<bool(ReplyStream& stream, bool close_connection,
                                     bool& connection_closed, const std::string& range)>;
  using LogSink = std::function<void(std::string_view line)>;

  FrontEnd(FrontEndOptions options, Handler handler, LogSink log);
  ~FrontEnd();
  FrontEnd(const FrontEnd&) = delete;
  FrontEnd& operator=(const FrontEnd&) = delete;

  // Binds and listens; `port` 0 picks a free one. The bound port, or -1.
  int Bind(const std::string& host, int port);
  // Waits on connections until Stop; false when nothing is bound.
  bool Run();
  // Ends Run from any thread, also when called before Run.
  void Stop();

  int ListeningFd() const { return listen_.get(); }
  // Open connections (for tests and the log).
  size_t ConnectionCount() const { return open_.load(); }

 private:
  using Clock = std::chrono::steady_clock;
  enum class Phase { kReading, kBusy, kDraining };
  struct Connection {
    UniqueFd fd;
    std::string in;
    Phase phase = Phase::kReading;
    Clock::time_point deadline;
    bool head_seen = false;
    bool peer_closed = false;
    size_t served = 0;
    size_t drained = 0;
  };
  struct Job {
    int fd;
    std::string request;
    std::string range;
    bool close_after;
  };
  struct Done {
    int fd;
    bool keep;
  };

  void AcceptAll();
  void OnReadable(Connection& c);
  void Drain(Connection& c);
  void TryDispatch(Connection& c);
  void Refuse(Connection& c, int status, std::string_view reason);
  void Close(int fd);
  void Watch(int fd, bool on);
  void TakeFinished();
  void SweepDeadlines();
  void WorkerLoop();
  void Wake();

  FrontEndOptions options_;
  Handler handler_;
  LogSink log_;
  UniqueFd listen_;
  UniqueFd epoll_;
  UniqueFd wake_;
  bool accept_paused_ = false;
  std::unordered_map<int, Connection> conns_;
  std::atomic<size_t> open_{0};
  std::atomic<bool> stop_{false};

  std::mutex mutex_;
  std::condition_variable work_cv_;
  std::deque<Job> jobs_;
  std::vector<Done> finished_;
  bool workers_stop_ = false;
  std::vector<std::thread> workers_;
};

}  // namespace qelo::service
