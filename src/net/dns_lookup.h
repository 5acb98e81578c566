// Asynchronous IPv4 name lookups with c-ares, driven entirely by the thread's dispatcher: the
// resolver's sockets sit in the dispatcher's epoll set and its timeouts are dispatcher timers.
// No thread is started.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "net/dispatcher.h"
#include "net/life_guard.h"

namespace qelo::net {

class TDnsLookup {
 public:
  // errCode is in the socket numbering (0, 11001, 10004, ...); addrs in dotted form, in order.
  using Callback = std::function<void(int errCode, std::vector<std::string> addrs)>;

  // Per try timeout and tries; with an unreachable server an unknown name ends within
  // about TimeoutMs * (1 + 2 + ...) for the tries, capped by OverallLimitMs.
  struct Options {
    int timeoutMs = 2000;
    int tries = 2;
    int overallLimitMs = 9000;
    // "ip:port,..." to ask instead of the system's servers (tests); empty: the system's.
    std::string servers;
  };

  explicit TDnsLookup(Dispatcher& dispatcher);
  TDnsLookup(Dispatcher& dispatcher, const Options& options);
  ~TDnsLookup();
  TDnsLookup(const TDnsLookup&) = delete;
  TDnsLookup& operator=(const TDnsLookup&) = delete;

  // Starts a lookup of host (hosts file first, then DNS). The callback runs exactly once unless
  // the lookup is cancelled or this object destroyed first; it may run inside Start (a name
  // found in the hosts file) or later from the dispatcher loop. Returns a lookup id.
  // Throws ENetException when the resolver cannot be set up.
  uint64_t Start(const std::string& host, Callback callback);
  // Cancels one lookup: its callback never runs.
  void Cancel(uint64_t id);
  // Lookups whose callback is still to run.
  size_t PendingCount() const;

 private:
  struct Channel;
  struct Query;

  void EnsureChannel();
  void SocketStateChanged(int fd, bool readable, bool writable);
  void ProcessFd(int readFd, int writeFd);
  void ArmTimer();
  void CancelIfIdle();
  void Finish(uint64_t id, int errCode, std::vector<std::string> addrs);

  Dispatcher& dispatcher_;
  Options options_;
  std::unique_ptr<Channel> channel_;
  std::unordered_map<uint64_t, std::unique_ptr<Query>> pending_;
  uint64_t nextId_ = 1;
  Dispatcher::TimerId timer_ = 0;
  TLifeGuard life_;  // tells callbacks whether this object still exists
};

}  // namespace qelo::net
