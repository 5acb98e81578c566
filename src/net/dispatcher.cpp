#include "net/dispatcher.h"

#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <limits>
#include <system_error>

#include "net/net_exception.h"
#include "net/net_timer.h"
#include "net/net_wnd_control.h"

namespace qelo::net {

namespace {

constexpr size_t kInitialRing = 1024;
// Queued entries with no endpoint: a timer message (wParam names the timer) or a purged one.
constexpr uint32_t kTimerMessage = 0x0113;
constexpr uint32_t kDeadMessage = 0;

uint64_t PackWatchKey(int fd, uint32_t generation) {
  return (static_cast<uint64_t>(generation) << 32) | static_cast<uint32_t>(fd);
}

uint32_t ToEpoll(uint32_t interest) {
  uint32_t ev = 0;
  if (interest & kFdRead) ev |= EPOLLIN | EPOLLRDHUP;
  if (interest & kFdWrite) ev |= EPOLLOUT;
  return ev;
}

uint32_t FromEpoll(uint32_t ev) {
  uint32_t out = 0;
  if (ev & (EPOLLIN | EPOLLPRI)) out |= kFdRead;
  if (ev & EPOLLOUT) out |= kFdWrite;
  if (ev & EPOLLERR) out |= kFdError;
  if (ev & (EPOLLHUP | EPOLLRDHUP)) out |= kFdHangup;
  return out;
}

[[noreturn]] void ThrowErrno(const char* what) {
  throw std::system_error(errno, std::generic_category(), what);
}

}  // namespace

Dispatcher::Dispatcher() : ring_(kInitialRing) {
  epollFd_.Reset(epoll_create1(EPOLL_CLOEXEC));
  if (!epollFd_.IsOpen()) ThrowErrno("epoll_create1");
  eventFd_.Reset(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
  if (!eventFd_.IsOpen()) ThrowErrno("eventfd");
  epoll_event ev{};
  ev.events = EPOLLIN;
  ev.data.u64 = std::numeric_limits<uint64_t>::max();
  epoll_ctl(epollFd_.get(), EPOLL_CTL_ADD, eventFd_.get(), &ev);
}

Dispatcher::~Dispatcher() = default;

Dispatcher& Dispatcher::current() {
  thread_local Dispatcher dispatcher;
  return dispatcher;
}

// --- Queue -------------------------------------------------------------------------------------

void Dispatcher::post(TNetWndHandler* endpoint, uint32_t msg, uintptr_t wParam, intptr_t lParam) {
  if (count_ == ring_.size()) grow();
  ring_[(head_ + count_) & (ring_.size() - 1)] = PostedMessage{endpoint, msg, wParam, lParam};
  ++count_;
  if (!signalled_) signal();
}

void Dispatcher::grow() {
  std::vector<PostedMessage> bigger(ring_.size() * 2);
  for (size_t i = 0; i < count_; ++i)
    bigger[i] = ring_[(head_ + i) & (ring_.size() - 1)];
  ring_.swap(bigger);
  head_ = 0;
}

void Dispatcher::purge(const TNetWndHandler* endpoint, uint32_t msg) {
  for (size_t i = 0; i < count_; ++i) {
    PostedMessage& m = ring_[(head_ + i) & (ring_.size() - 1)];
    if (m.endpoint == endpoint && (msg == 0 || m.msg == msg)) m = PostedMessage{};
  }
}

bool Dispatcher::popFront(PostedMessage& out) {
  if (count_ == 0) return false;
  out = ring_[head_];
  head_ = (head_ + 1) & (ring_.size() - 1);
  if (--count_ == 0 && signalled_) unsignal();
  return true;
}

void Dispatcher::signal() {
  const uint64_t one = 1;
  if (write(eventFd_.get(), &one, sizeof one) == sizeof one) signalled_ = true;
}

void Dispatcher::unsignal() {
  uint64_t value = 0;
  if (read(eventFd_.get(), &value, sizeof value) == sizeof value || errno == EAGAIN)
    signalled_ = false;
}

void Dispatcher::deliver(const PostedMessage& m) {
  if (m.endpoint == nullptr) {
    if (m.msg != kTimerMessage) return;
    auto it = netTimers_.find(static_cast<uint64_t>(m.wParam));
    if (it != netTimers_.end()) it->second->TimerMessage();
    return;
  }
  if (TNetWndControl* owner = m.endpoint->OwnerOf(m.msg)) owner->Deliver(m.msg, m.wParam, m.lParam);
}

// Delivers at most the messages queued when it started, so a handler that keeps posting
// cannot starve descriptors and timers.
bool Dispatcher::drainQueue() {
  size_t budget = count_;
  bool any = false;
  PostedMessage m;
  while (budget-- > 0 && popFront(m)) {
    if (m.endpoint == nullptr && m.msg == kDeadMessage) continue;
    any = true;
    deliver(m);
  }
  return any;
}

// --- Loops -------------------------------------------------------------------------------------

int Dispatcher::waitBudget(int timeoutMs) const {
  if (count_ > 0) return 0;
  if (timers_.empty()) return timeoutMs;
  auto until = timers_.begin()->first.first - Clock::now();
  auto ms = std::chrono::ceil<std::chrono::milliseconds>(until).count();
  if (ms < 0) ms = 0;
  if (timeoutMs >= 0 && ms > timeoutMs) return timeoutMs;
  return static_cast<int>(std::min<long long>(ms, std::numeric_limits<int>::max()));
}

bool Dispatcher::pollDescriptors(int timeoutMs) {
  epoll_event events[64];
  int n = epoll_wait(epollFd_.get(), events, 64, timeoutMs);
  if (n <= 0) return false;  // timeout or EINTR
  bool any = false;
  for (int i = 0; i < n; ++i) {
    uint64_t key = events[i].data.u64;
    if (key == std::numeric_limits<uint64_t>::max()) continue;  // the queue's eventfd
    int fd = static_cast<int>(key & 0xffffffffu);
    auto it = watches_.find(fd);
    // A descriptor unwatched (or re-watched) by an earlier callback of this batch is skipped.
    if (it == watches_.end() || it->second.generation != static_cast<uint32_t>(key >> 32)) continue;
    FdCallback callback = it->second.callback;  // the callback may unwatch its own descriptor
    any = true;
    try {
      callback(FromEpoll(events[i].events));
    } catch (...) {
      // Readiness callbacks belong to the transfer components, which post their own errors.
    }
  }
  return any;
}

bool Dispatcher::runDueTimers() {
  bool any = false;
  const auto now = Clock::now();
  while (!timers_.empty() && timers_.begin()->first.first <= now) {
    auto node = timers_.extract(timers_.begin());
    timerDeadlines_.erase(node.key().second);
    any = true;
    try {
      node.mapped()();
    } catch (...) {
      // Exceptions never escape into the loop.
    }
  }
  return any;
}

bool Dispatcher::runOnce(int timeoutMs) {
  bool polled = pollDescriptors(waitBudget(timeoutMs));
  bool timed = runDueTimers();
  bool delivered = drainQueue();
  return polled || timed || delivered;
}

void Dispatcher::run() {
  stopRequested_ = false;
  while (!stopRequested_)
    runOnce(-1);
  stopRequested_ = false;
}

bool Dispatcher::runUntil(const std::function<bool()>& pred, int timeoutMs) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!pred()) {
    auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) return pred();
    runOnce(static_cast<int>(left));
  }
  return true;
}

std::optional<Clock::time_point> Dispatcher::nextDeadline() const {
  if (count_ > 0) return Clock::now();
  if (timers_.empty()) return std::nullopt;
  return timers_.begin()->first.first;
}

// --- Timers ------------------------------------------------------------------------------------

Dispatcher::TimerId Dispatcher::addTimer(std::chrono::milliseconds delay,
                                         std::function<void()> callback) {
  const TimerId id = nextTimerId_++;
  const auto when = Clock::now() + delay;
  timers_.emplace(std::make_pair(when, id), std::move(callback));
  timerDeadlines_.emplace(id, when);
  return id;
}

void Dispatcher::cancelTimer(TimerId id) {
  auto it = timerDeadlines_.find(id);
  if (it == timerDeadlines_.end()) return;
  timers_.erase(std::make_pair(it->second, id));
  timerDeadlines_.erase(it);
}

uint64_t Dispatcher::registerNetTimer(TNetTimer* timer) {
  const uint64_t serial = nextNetTimerSerial_++;
  netTimers_.emplace(serial, timer);
  return serial;
}

void Dispatcher::unregisterNetTimer(uint64_t serial) {
  netTimers_.erase(serial);
}

void Dispatcher::postTimerMessage(uint64_t serial) {
  post(nullptr, kTimerMessage, static_cast<uintptr_t>(serial), 0);
}

// --- Descriptors -------------------------------------------------------------------------------

void Dispatcher::applyInterest(int fd, Watch& w, int op) {
  epoll_event ev{};
  ev.events = ToEpoll(w.interest);
  ev.data.u64 = PackWatchKey(fd, w.generation);
  if (epoll_ctl(epollFd_.get(), op, fd, &ev) != 0) ThrowErrno("epoll_ctl");
}

void Dispatcher::watchFd(int fd, uint32_t interest, FdCallback callback) {
  auto [it, added] = watches_.try_emplace(fd);
  it->second.generation = nextGeneration_++;
  it->second.interest = interest;
  it->second.callback = std::move(callback);
  try {
    applyInterest(fd, it->second, added ? EPOLL_CTL_ADD : EPOLL_CTL_MOD);
  } catch (...) {
    watches_.erase(fd);
    throw;
  }
}

void Dispatcher::setFdInterest(int fd, uint32_t interest) {
  auto it = watches_.find(fd);
  if (it == watches_.end() || it->second.interest == interest) return;
  it->second.interest = interest;
  applyInterest(fd, it->second, EPOLL_CTL_MOD);
}

void Dispatcher::unwatchFd(int fd) {
  if (watches_.erase(fd) == 0) return;
  epoll_ctl(epollFd_.get(), EPOLL_CTL_DEL, fd, nullptr);  // may already be closed: nothing to undo
}

void Dispatcher::watchFdAsMessage(int fd, uint32_t interest, TNetWndControl& owner, uint32_t msg) {
  watchFd(fd, interest, [this, fd, &owner, msg](uint32_t events) {
    setFdInterest(fd, 0);
    if (TNetWndHandler* ep = owner.Endpoint()) post(ep, msg, static_cast<uintptr_t>(fd), events);
  });
}

// --- Endpoints ---------------------------------------------------------------------------------

TNetWndHandler& Dispatcher::endpointFor(int slotsNeeded) {
  for (auto& ep : endpoints_)
    if (ep->FreeCount() >= slotsNeeded) return *ep;
  endpoints_.push_back(std::make_unique<TNetWndHandler>(*this));
  return *endpoints_.back();
}

void Dispatcher::releaseEndpointIfEmpty(TNetWndHandler& endpoint) {
  if (endpoint.UsedCount() != 0) return;
  purge(&endpoint, 0);
  std::erase_if(endpoints_, [&](const auto& ep) { return ep.get() == &endpoint; });
}

}  // namespace qelo::net
