// The per-thread message dispatcher: one FIFO of posted messages, timers and descriptor
// readiness, all delivered one at a time by the thread that owns them.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <unordered_map>
#include <vector>

#include "text/unique_fd.h"

namespace qelo::net {

class TNetWndHandler;
class TNetWndControl;
class TNetTimer;

using Clock = std::chrono::steady_clock;

// Readiness bits of a watched descriptor.
enum FdEvent : uint32_t {
  kFdRead = 1u << 0,
  kFdWrite = 1u << 1,
  kFdError = 1u << 2,
  kFdHangup = 1u << 3,
};

// One queued message: a slot number on an endpoint and two parameters.
struct PostedMessage {
  TNetWndHandler* endpoint = nullptr;
  uint32_t msg = 0;
  uintptr_t wParam = 0;
  intptr_t lParam = 0;
};

class Dispatcher {
 public:
  using TimerId = uint64_t;
  using FdCallback = std::function<void(uint32_t events)>;

  Dispatcher();
  ~Dispatcher();
  Dispatcher(const Dispatcher&) = delete;
  Dispatcher& operator=(const Dispatcher&) = delete;

  // The dispatcher of the calling thread, created on first use.
  static Dispatcher& current();

  // --- Posting -------------------------------------------------------------------------------
  // Appends a message to the thread's FIFO. Never blocks and never calls a handler.
  void post(TNetWndHandler* endpoint, uint32_t msg, uintptr_t wParam, intptr_t lParam);
  // Removes every queued message of (endpoint, msg); msg 0 removes all of the endpoint's.
  void purge(const TNetWndHandler* endpoint, uint32_t msg);
  size_t pendingCount() const { return count_; }

  // --- Loops ----------------------------------------------------------------------------------
  // Waits up to timeoutMs (-1: no limit) for work, then handles ready descriptors, due timers
  // and the messages that were queued. Returns true when anything was handled.
  bool runOnce(int timeoutMs);
  // Runs until stop() is called.
  void run();
  void stop() { stopRequested_ = true; }
  // Runs until pred() holds or timeoutMs passed; returns pred().
  bool runUntil(const std::function<bool()>& pred, int timeoutMs);
  // Handles whatever is ready now; never blocks. For an outer event loop (the Qt bridge).
  void processPending() { runOnce(0); }
  // Readable whenever messages are queued or a watched descriptor is ready.
  int fd() const { return epollFd_.get(); }
  // When the dispatcher next needs a turn even if fd() stays quiet: now when messages are
  // queued, the nearest timer otherwise, nothing when idle.
  std::optional<Clock::time_point> nextDeadline() const;

  // --- Timers -----------------------------------------------------------------------------------
  // One-shot callback run from the loop after delay. Exceptions it raises are dropped.
  TimerId addTimer(std::chrono::milliseconds delay, std::function<void()> callback);
  void cancelTimer(TimerId id);

  // --- Descriptors ------------------------------------------------------------------------------
  // Level-triggered watch: callback(events) runs from the loop while fd is ready for the
  // interest given (kFdRead | kFdWrite; errors and hang-ups are always reported).
  void watchFd(int fd, uint32_t interest, FdCallback callback);
  // Changes the interest of a watched descriptor; 0 keeps it registered but silent.
  void setFdInterest(int fd, uint32_t interest);
  void unwatchFd(int fd);
  // One-shot watch that turns readiness into a message (msg, wParam = fd, lParam = events)
  // posted to owner's slot; the interest is then cleared until setFdInterest re-arms it.
  // The owner must unwatch the descriptor before it is destroyed.
  void watchFdAsMessage(int fd, uint32_t interest, TNetWndControl& owner, uint32_t msg);

  // --- Endpoints (used by TNetWndControl) -------------------------------------------------------
  TNetWndHandler& endpointFor(int slotsNeeded);
  void releaseEndpointIfEmpty(TNetWndHandler& endpoint);
  size_t endpointCount() const { return endpoints_.size(); }

  // --- Timers of TNetTimer (delivered as queued timer messages) ---------------------------------
  uint64_t registerNetTimer(TNetTimer* timer);
  void unregisterNetTimer(uint64_t serial);
  void postTimerMessage(uint64_t serial);

 private:
  struct Watch {
    uint32_t generation = 0;
    uint32_t interest = 0;
    FdCallback callback;
  };

  void deliver(const PostedMessage& m);
  bool drainQueue();
  bool pollDescriptors(int timeoutMs);
  bool runDueTimers();
  int waitBudget(int timeoutMs) const;
  bool popFront(PostedMessage& out);
  void grow();
  void signal();
  void unsignal();
  void applyInterest(int fd, Watch& w, int op);

  text::TUniqueFd epollFd_;
  text::TUniqueFd eventFd_;
  bool signalled_ = false;
  bool stopRequested_ = false;

  // Ring buffer FIFO; capacity is a power of two.
  std::vector<PostedMessage> ring_;
  size_t head_ = 0;
  size_t count_ = 0;

  std::map<std::pair<Clock::time_point, TimerId>, std::function<void()>> timers_;
  std::unordered_map<TimerId, Clock::time_point> timerDeadlines_;
  TimerId nextTimerId_ = 1;

  std::unordered_map<int, Watch> watches_;
  uint32_t nextGeneration_ = 1;

  std::vector<std::unique_ptr<TNetWndHandler>> endpoints_;

  std::unordered_map<uint64_t, TNetTimer*> netTimers_;
  uint64_t nextNetTimerSerial_ = 1;
};

}  // namespace qelo::net
