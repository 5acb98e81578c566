#include "net/dns_lookup.h"

#include <ares.h>
#include <arpa/inet.h>
#include <netdb.h>
#include <sys/time.h>

#include <mutex>

#include "net/net_exception.h"
#include "net/socket_errors.h"

namespace qelo::net {

namespace {

void InitLibraryOnce() {
  static std::once_flag once;
  static int status = ARES_SUCCESS;
  std::call_once(once, [] { status = ares_library_init(ARES_LIB_INIT_ALL); });
  if (status != ARES_SUCCESS)
    throw ENetException(std::string("Resolver library start failed - ") + ares_strerror(status));
}

std::vector<std::string> DottedAddresses(const hostent* host) {
  std::vector<std::string> out;
  if (host == nullptr || host->h_addrtype != AF_INET || host->h_addr_list == nullptr) return out;
  for (char** p = host->h_addr_list; *p != nullptr; ++p) {
    char text[INET_ADDRSTRLEN] = {};
    if (inet_ntop(AF_INET, *p, text, sizeof text) != nullptr) out.emplace_back(text);
  }
  return out;
}

}  // namespace

// The c-ares channel, owned here so ares.h stays out of the header.
struct TDnsLookup::Channel {
  ares_channel handle = nullptr;
  ~Channel() {
    if (handle != nullptr) ares_destroy(handle);
  }
};

// What c-ares hands back to its completion callback. c-ares calls that callback exactly once per
// query (also when cancelled or destroyed), so the argument lives until then.
struct TDnsLookup::Query {
  TDnsLookup* owner = nullptr;
  uint64_t id = 0;
  Callback callback;
  Dispatcher::TimerId limitTimer = 0;
  bool live = true;  // false once cancelled or finished: the callback must not run
};

TDnsLookup::TDnsLookup(Dispatcher& dispatcher) : TDnsLookup(dispatcher, Options{}) {}

TDnsLookup::TDnsLookup(Dispatcher& dispatcher, const Options& options)
    : dispatcher_(dispatcher), options_(options) {}

TDnsLookup::~TDnsLookup() {
  if (timer_ != 0) dispatcher_.cancelTimer(timer_);
  for (auto& [id, q] : pending_) {
    q->live = false;
    if (q->limitTimer != 0) dispatcher_.cancelTimer(q->limitTimer);
  }
  // Destroying the channel runs every outstanding completion (as destroyed) and reports its
  // sockets closed; both find this object still whole. The queries die after that.
  channel_.reset();
  pending_.clear();
}

void TDnsLookup::EnsureChannel() {
  if (channel_) return;
  InitLibraryOnce();
  ares_options opts{};
  int mask = ARES_OPT_SOCK_STATE_CB | ARES_OPT_TIMEOUTMS | ARES_OPT_TRIES | ARES_OPT_LOOKUPS;
  opts.sock_state_cb = [](void* data, ares_socket_t fd, int readable, int writable) {
    static_cast<TDnsLookup*>(data)->SocketStateChanged(fd, readable != 0, writable != 0);
  };
  opts.sock_state_cb_data = this;
  opts.timeout = options_.timeoutMs;
  opts.tries = options_.tries;
  char lookups[] = "fb";  // the hosts file first, then DNS
  opts.lookups = lookups;
  auto channel = std::make_unique<Channel>();
  const int status = ares_init_options(&channel->handle, &opts, mask);
  if (status != ARES_SUCCESS) {
    channel->handle = nullptr;
    throw ENetException(std::string("Resolver start failed - ") + ares_strerror(status));
  }
  if (!options_.servers.empty()) {
    const int rc = ares_set_servers_ports_csv(channel->handle, options_.servers.c_str());
    if (rc != ARES_SUCCESS)
      throw ENetException(std::string("Resolver servers refused - ") + ares_strerror(rc));
  }
  channel_ = std::move(channel);
}

uint64_t TDnsLookup::Start(const std::string& host, Callback callback) {
  EnsureChannel();
  const uint64_t id = nextId_++;
  auto query = std::make_unique<Query>();
  query->owner = this;
  query->id = id;
  query->callback = std::move(callback);
  Query* raw = query.get();
  pending_.emplace(id, std::move(query));

  const TLifeGuard::TCheck alive = life_.Check();
  raw->limitTimer =
      dispatcher_.addTimer(std::chrono::milliseconds(options_.overallLimitMs), [this, alive, id] {
        if (!alive) return;
        auto it = pending_.find(id);
        if (it != pending_.end()) it->second->limitTimer = 0;
        Finish(id, kSockHostNotFound, {});
        if (alive) CancelIfIdle();
      });

  ares_gethostbyname(
      channel_->handle, host.c_str(), AF_INET,
      [](void* arg, int status, int /*timeouts*/, hostent* result) {
        auto* q = static_cast<Query*>(arg);
        if (status == ARES_EDESTRUCTION) return;  // the destructor frees the queries
        TDnsLookup* owner = q->owner;
        const uint64_t qid = q->id;
        const TLifeGuard::TCheck alive = owner->life_.Check();
        if (q->live)
          owner->Finish(
              qid, SocketErrorFromAres(status),
              status == ARES_SUCCESS ? DottedAddresses(result) : std::vector<std::string>{});
        // c-ares is done with the query now (a cancelled one only waited for this call).
        if (alive) owner->pending_.erase(qid);
      },
      raw);
  ArmTimer();
  return id;
}

void TDnsLookup::Cancel(uint64_t id) {
  auto it = pending_.find(id);
  if (it == pending_.end() || !it->second->live) return;
  it->second->live = false;
  if (it->second->limitTimer != 0) dispatcher_.cancelTimer(it->second->limitTimer);
  it->second->limitTimer = 0;
  // The query object stays until c-ares calls back.
  CancelIfIdle();
}

size_t TDnsLookup::PendingCount() const {
  size_t n = 0;
  for (const auto& [id, q] : pending_)
    n += q->live ? 1 : 0;
  return n;
}

void TDnsLookup::CancelIfIdle() {
  // With no live query left the channel's work is pointless: stop it (its callbacks find
  // their queries dead and only release them).
  if (!channel_ || PendingCount() != 0 || pending_.empty()) return;
  ares_cancel(channel_->handle);
  ArmTimer();
}

void TDnsLookup::Finish(uint64_t id, int errCode, std::vector<std::string> addrs) {
  auto it = pending_.find(id);
  if (it == pending_.end() || !it->second->live) return;
  Query& q = *it->second;
  q.live = false;
  if (q.limitTimer != 0) dispatcher_.cancelTimer(q.limitTimer);
  q.limitTimer = 0;
  Callback callback = std::move(q.callback);
  if (callback) callback(errCode, std::move(addrs));
}

void TDnsLookup::SocketStateChanged(int fd, bool readable, bool writable) {
  if (!readable && !writable) {
    dispatcher_.unwatchFd(fd);
    return;
  }
  const uint32_t interest = (readable ? kFdRead : 0u) | (writable ? kFdWrite : 0u);
  const TLifeGuard::TCheck alive = life_.Check();
  dispatcher_.watchFd(fd, interest, [this, alive, fd](uint32_t events) {
    if (!alive) return;
    const bool rd = (events & (kFdRead | kFdError | kFdHangup)) != 0;
    const bool wr = (events & kFdWrite) != 0;
    ProcessFd(rd ? fd : ARES_SOCKET_BAD, wr ? fd : ARES_SOCKET_BAD);
  });
}

void TDnsLookup::ProcessFd(int readFd, int writeFd) {
  if (!channel_) return;
  const TLifeGuard::TCheck alive = life_.Check();
  ares_process_fd(channel_->handle, readFd, writeFd);
  if (alive) ArmTimer();
}

void TDnsLookup::ArmTimer() {
  if (timer_ != 0) dispatcher_.cancelTimer(timer_);
  timer_ = 0;
  if (!channel_) return;
  timeval tv{};
  if (ares_timeout(channel_->handle, nullptr, &tv) == nullptr) return;
  const auto ms = std::chrono::milliseconds(tv.tv_sec * 1000 + (tv.tv_usec + 999) / 1000);
  const TLifeGuard::TCheck alive = life_.Check();
  timer_ = dispatcher_.addTimer(ms, [this, alive] {
    if (!alive) return;
    timer_ = 0;
    ProcessFd(ARES_SOCKET_BAD, ARES_SOCKET_BAD);
  });
}

}  // namespace qelo::net
