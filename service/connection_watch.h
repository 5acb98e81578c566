// Deadlines for the phases of a connection that the HTTP library leaves open: its idle timeout
// restarts on every byte, so a client that drips a header or a body a byte at a time would hold
// its connection for as long as it likes. Here a connection has `head_timeout` for each request
// head (from the accept, or from the end of the previous reply) and then `body_timeout` for the
// body. One thread looks at the deadlines every `sweep` period; a connection past its deadline is
// told "408" when it had begun a request, and its socket is shut down, which the library sees as
// the end of the connection and closes it.
//
// Connections are named by an opaque id that the caller keeps unique while the connection is
// open (Opened to Closed). Every member may be called from any thread.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <unordered_map>

#include "skin_files.h"

namespace qelo::service {

struct WatchOptions {
  std::chrono::milliseconds head_timeout{5000};
  std::chrono::milliseconds body_timeout{10000};
  std::chrono::milliseconds sweep{100};
};

class ConnectionWatch {
 public:
  using Id = const void*;
  using LogSink = std::function<void(std::string_view line)>;

  ConnectionWatch(WatchOptions options, LogSink log);
  ~ConnectionWatch();
  ConnectionWatch(const ConnectionWatch&) = delete;
  ConnectionWatch& operator=(const ConnectionWatch&) = delete;

  // A new connection on socket `fd` (not taken: a duplicate is kept, so a cut can never reach
  // another socket that took the number after the library closed it). Its head deadline starts.
  // False when no duplicate could be made: the connection is not watched.
  bool Opened(Id id, int fd);
  // The connection is gone; forgets it and drops the duplicate.
  void Closed(Id id);
  // A request line arrived; a cut from now on says 408, and logs `what` (the request target).
  void RequestBegun(Id id, std::string_view what);
  // The head is whole. With a body to come the body deadline starts, otherwise there is no
  // deadline until the reply is sent. False only when the connection was already cut: the
  // request must not be served.
  bool HeadDone(Id id, bool body_expected);
  // The whole request is in; no deadline while it is answered. False when already cut.
  bool RequestDone(Id id);
  // The reply is sent; the next request head has `head_timeout`. False for a connection not
  // watched or already cut.
  bool ReplySent(Id id);

  size_t OpenConnections() const;

 private:
  using Clock = std::chrono::steady_clock;
  struct Entry {
    UniqueFd fd;
    Clock::time_point deadline = Clock::time_point::max();
    bool begun = false;
    bool cut = false;
    std::string what;
  };

  bool SetDeadline(Id id, Clock::time_point deadline);
  void SweepLoop();
  void Cut(Entry& e);

  WatchOptions options_;
  LogSink log_;
  mutable std::mutex mutex_;
  std::condition_variable wake_;
  bool stop_ = false;
  std::unordered_map<Id, Entry> entries_;
  std::thread sweeper_;
};

}  // namespace qelo::service
