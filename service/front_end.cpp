#include "front_end.h"

#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace qelo::service {
namespace {

constexpr int kBacklog = 512;
// Bytes a connection may have waiting beyond one largest request (the start of the next).
constexpr size_t kReadBlock = 64 * 1024;
// After a refusal the rest of what the client sends is read and dropped for a moment, so the
// close does not reset the connection before the client has read the refusal; never longer or
// more than this.
constexpr auto kDrainTime = std::chrono::milliseconds(1000);
constexpr size_t kDrainBytes = 256 * 1024;
constexpr int kSweepMs = 100;

const char* StatusText(int status) {
  switch (status) {
    case 400:
      return "Bad Request";
    case 408:
      return "Request Timeout";
    case 411:
      return "Length Required";
    case 413:
      return "Payload Too Large";
    case 431:
      return "Request Header Fields Too Large";
    default:
      return "Error";
  }
}

// The request line of what a connection sent, for the log; control bytes shown as '?'.
std::string FirstLine(std::string_view in) {
  std::string line(in.substr(0, std::min(in.find_first_of("\r\n"), size_t{200})));
  for (char& ch : line) {
    if (static_cast<unsigned char>(ch) < 0x20 || ch == 0x7F) ch = '?';
  }
  return line.empty() ? "-" : line;
}

void SendBestEffort(int fd, std::string_view bytes) {
  [[maybe_unused]] const ssize_t n =
      ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
}

}  // namespace

FrontEnd::FrontEnd(FrontEndOptions options, Handler handler, LogSink log)
    : options_(options), handler_(std::move(handler)), log_(std::move(log)) {
  epoll_ = UniqueFd(::epoll_create1(EPOLL_CLOEXEC));
  wake_ = UniqueFd(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC));
  if (epoll_ && wake_) {
    epoll_event ev{};
    ev.events = EPOLLIN;
    ev.data.fd = wake_.get();
    ::epoll_ctl(epoll_.get(), EPOLL_CTL_ADD, wake_.get(), &ev);
  }
}

FrontEnd::~FrontEnd() {
  {
    std::lock_guard lock(mutex_);
    workers_stop_ = true;
  }
  work_cv_.notify_all();
  for (std::thread& t : workers_)
    t.join();
}

int FrontEnd::Bind(const std::string& host, int port) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
  addrinfo* found = nullptr;
  const std::string service = std::to_string(port);
  if (::getaddrinfo(host.empty() ? nullptr : host.c_str(), service.c_str(), &hints, &found) != 0)
    return -1;
  int bound = -1;
  for (addrinfo* a = found; a != nullptr && bound < 0; a = a->ai_next) {
    UniqueFd fd(::socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (!fd) continue;
    const int one = 1;
    ::setsockopt(fd.get(), SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    if (::bind(fd.get(), a->ai_addr, a->ai_addrlen) != 0 || ::listen(fd.get(), kBacklog) != 0)
      continue;
    sockaddr_storage addr{};
    socklen_t len = sizeof addr;
    if (::getsockname(fd.get(), reinterpret_cast<sockaddr*>(&addr), &len) != 0) continue;
    bound = addr.ss_family == AF_INET6
                ? ntohs(reinterpret_cast<const sockaddr_in6&>(addr).sin6_port)
                : ntohs(reinterpret_cast<const sockaddr_in&>(addr).sin_port);
    listen_ = std::move(fd);
  }
  ::freeaddrinfo(found);
  return bound;
}

bool FrontEnd::Run() {
  if (!listen_ || !epoll_ || !wake_) return false;
  Watch(listen_.get(), true);
  for (size_t i = 0; i < std::max<size_t>(options_.workers, 1); ++i)
    workers_.emplace_back([this] { WorkerLoop(); });

  std::vector<epoll_event> events(256);
  while (!stop_) {
    const int n =
        ::epoll_wait(epoll_.get(), events.data(), static_cast<int>(events.size()), kSweepMs);
    if (n < 0 && errno != EINTR) break;
    for (int i = 0; i < n && !stop_; ++i) {
      const int fd = events[static_cast<size_t>(i)].data.fd;
      if (fd == listen_.get()) {
        AcceptAll();
      } else if (fd == wake_.get()) {
        uint64_t count = 0;
        [[maybe_unused]] const ssize_t r = ::read(wake_.get(), &count, sizeof count);
        TakeFinished();
      } else if (auto it = conns_.find(fd); it != conns_.end()) {
        OnReadable(it->second);
      }
    }
    SweepDeadlines();
  }

  {
    std::lock_guard lock(mutex_);
    workers_stop_ = true;
    jobs_.clear();
  }
  work_cv_.notify_all();
  for (std::thread& t : workers_)
    t.join();
  workers_.clear();
  conns_.clear();
  open_ = 0;
  listen_ = UniqueFd();
  return true;
}

void FrontEnd::Stop() {
  stop_ = true;
  Wake();
}

void FrontEnd::Wake() {
  const uint64_t one = 1;
  if (wake_) [[maybe_unused]]
    const ssize_t w = ::write(wake_.get(), &one, sizeof one);
}

void FrontEnd::Watch(int fd, bool on) {
  epoll_event ev{};
  ev.events = EPOLLIN;
  ev.data.fd = fd;
  ::epoll_ctl(epoll_.get(), on ? EPOLL_CTL_ADD : EPOLL_CTL_DEL, fd, &ev);
}

void FrontEnd::AcceptAll() {
  for (;;) {
    const int raw = ::accept4(listen_.get(), nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (raw < 0) {
      if (errno == EINTR || errno == ECONNABORTED) continue;
      if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) {
        // Out of descriptors: stop taking connections until the next sweep.
        Watch(listen_.get(), false);
        accept_paused_ = true;
      }
      return;
    }
    UniqueFd fd(raw);
    if (conns_.size() >= options_.max_connections) continue;  // closed at once
    const int one = 1;
    ::setsockopt(raw, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    Connection& c = conns_[raw];
    c.fd = std::move(fd);
    c.deadline = Clock::now() + options_.head_timeout;
    open_ = conns_.size();
    Watch(raw, true);
  }
}

void FrontEnd::OnReadable(Connection& c) {
  if (c.phase == Phase::kDraining) return Drain(c);
  if (c.phase != Phase::kReading) return;
  const size_t cap = options_.limits.max_head_bytes + options_.limits.max_body_bytes + kReadBlock;
  char block[16 * 1024];
  while (c.in.size() < cap) {
    // Read into a block of the stack, so an idle connection holds only the bytes it sent.
    const ssize_t n = ::recv(c.fd.get(), block, sizeof block, 0);
    if (n > 0) {
      c.in.append(block, static_cast<size_t>(n));
      continue;
    }
    if (n == 0) {
      c.peer_closed = true;
      Watch(c.fd.get(), false);  // an ended stream stays readable
    } else if (errno == EINTR) {
      continue;
    } else if (errno != EAGAIN && errno != EWOULDBLOCK) {
      return Close(c.fd.get());
    }
    break;
  }
  TryDispatch(c);
}

void FrontEnd::Drain(Connection& c) {
  char scratch[16 * 1024];
  for (;;) {
    const ssize_t n = ::recv(c.fd.get(), scratch, sizeof scratch, 0);
    if (n > 0) {
      c.drained += static_cast<size_t>(n);
      if (c.drained > kDrainBytes) return Close(c.fd.get());
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return;
    return Close(c.fd.get());
  }
}

void FrontEnd::TryDispatch(Connection& c) {
  const RequestFraming f = InspectRequest(c.in, options_.limits);
  switch (f.kind) {
    case RequestFraming::Kind::kRefuse:
      return Refuse(c, f.status, f.reason);
    case RequestFraming::Kind::kIncomplete:
      if (c.peer_closed) return Close(c.fd.get());  // it can never be completed
      if (f.head_complete && !c.head_seen) {
        c.head_seen = true;
        c.deadline = Clock::now() + options_.body_timeout;
        if (f.expects_continue) SendBestEffort(c.fd.get(), "HTTP/1.1 100 Continue\r\n\r\n");
      }
      return;
    case RequestFraming::Kind::kComplete:
      break;
  }
  Job job{c.fd.get(), f.head + c.in.substr(f.head_bytes, f.body_bytes), f.range, false};
  c.in.erase(0, f.head_bytes + f.body_bytes);
  ++c.served;
  job.close_after = c.peer_closed || c.served >= options_.max_requests_per_connection || stop_;
  c.phase = Phase::kBusy;
  if (!c.peer_closed) Watch(c.fd.get(), false);
  {
    std::lock_guard lock(mutex_);
    jobs_.push_back(std::move(job));
  }
  work_cv_.notify_one();
}

void FrontEnd::Refuse(Connection& c, int status, std::string_view reason) {
  if (log_)
    log_(FirstLine(c.in) + " " + std::to_string(status) + " refused: " + std::string(reason));
  const std::string body = std::string(reason) + "\n";
  SendBestEffort(c.fd.get(), "HTTP/1.1 " + std::to_string(status) + " " + StatusText(status) +
                                 "\r\nContent-Type: text/plain\r\nContent-Length: " +
                                 std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" +
                                 body);
  ::shutdown(c.fd.get(), SHUT_WR);
  c.in.clear();
  c.in.shrink_to_fit();
  if (c.peer_closed) return Close(c.fd.get());
  c.phase = Phase::kDraining;
  c.deadline = Clock::now() + kDrainTime;
}

void FrontEnd::Close(int fd) {
  conns_.erase(fd);  // the descriptor closes with its connection, leaving the epoll set
  open_ = conns_.size();
}

void FrontEnd::TakeFinished() {
  std::vector<Done> done;
  {
    std::lock_guard lock(mutex_);
    done.swap(finished_);
  }
  for (const Done& d : done) {
    auto it = conns_.find(d.fd);
    if (it == conns_.end()) continue;
    Connection& c = it->second;
    if (!d.keep) {
      Close(d.fd);
      continue;
    }
    c.phase = Phase::kReading;
    c.head_seen = false;
    c.deadline = Clock::now() + options_.head_timeout;
    TryDispatch(c);  // a request sent behind the last one is already here
    if (conns_.count(d.fd) != 0 && c.phase != Phase::kBusy) Watch(d.fd, true);
  }
}

void FrontEnd::SweepDeadlines() {
  const auto now = Clock::now();
  std::vector<int> expired;
  for (auto& [fd, c] : conns_) {
    if (c.phase != Phase::kBusy && c.deadline <= now) expired.push_back(fd);
  }
  for (int fd : expired) {
    Connection& c = conns_[fd];
    // A kept connection with nothing begun just ends; a request left half-sent is told why.
    if (c.phase == Phase::kReading && !c.in.empty()) {
      if (log_) log_(FirstLine(c.in) + " 408 closed: request not complete in time");
      SendBestEffort(fd,
                     "HTTP/1.1 408 Request Timeout\r\nContent-Length: 0\r\n"
                     "Connection: close\r\n\r\n");
    }
    Close(fd);
  }
  if (accept_paused_) {
    accept_paused_ = false;
    Watch(listen_.get(), true);
  }
}

void FrontEnd::WorkerLoop() {
  for (;;) {
    Job job;
    {
      std::unique_lock lock(mutex_);
      work_cv_.wait(lock, [this] { return workers_stop_ || !jobs_.empty(); });
      if (workers_stop_) return;
      job = std::move(jobs_.front());
      jobs_.pop_front();
    }
    bool keep = false;
    try {
      ReplyStream stream(job.fd, std::move(job.request), options_.write_stall);
      bool connection_closed = false;
      const bool written = handler_(stream, job.close_after, connection_closed, job.range);
      keep = stream.Flush() && written && !connection_closed && !job.close_after;
    } catch (...) {
      keep = false;
    }
    {
      std::lock_guard lock(mutex_);
      finished_.push_back({job.fd, keep});
    }
    Wake();
  }
}

}  // namespace qelo::service
