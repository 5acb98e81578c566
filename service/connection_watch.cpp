#include "connection_watch.h"

#include <fcntl.h>
#include <sys/socket.h>

#include <vector>

namespace qelo::service {
namespace {

constexpr std::string_view kTimeoutReply =
    "HTTP/1.1 408 Request Timeout\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";

}  // namespace

ConnectionWatch::ConnectionWatch(WatchOptions options, LogSink log)
    : options_(options), log_(std::move(log)), sweeper_([this] { SweepLoop(); }) {}

ConnectionWatch::~ConnectionWatch() {
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
  }
  wake_.notify_all();
  sweeper_.join();
}

bool ConnectionWatch::Opened(Id id, int fd) {
  UniqueFd copy(::fcntl(fd, F_DUPFD_CLOEXEC, 0));
  if (!copy) return false;
  std::lock_guard lock(mutex_);
  Entry& e = entries_[id];
  e = Entry{};
  e.fd = std::move(copy);
  e.deadline = Clock::now() + options_.head_timeout;
  return true;
}

void ConnectionWatch::Closed(Id id) {
  std::lock_guard lock(mutex_);
  entries_.erase(id);
}

void ConnectionWatch::RequestBegun(Id id, std::string_view what) {
  std::lock_guard lock(mutex_);
  const auto it = entries_.find(id);
  if (it == entries_.end()) return;
  it->second.begun = true;
  it->second.what.assign(what.substr(0, 200));
}

bool ConnectionWatch::SetDeadline(Id id, Clock::time_point deadline) {
  std::lock_guard lock(mutex_);
  const auto it = entries_.find(id);
  if (it == entries_.end()) return true;  // not watched: no deadline to keep
  if (it->second.cut) return false;
  it->second.deadline = deadline;
  return true;
}

bool ConnectionWatch::HeadDone(Id id, bool body_expected) {
  return SetDeadline(
      id, body_expected ? Clock::now() + options_.body_timeout : Clock::time_point::max());
}

bool ConnectionWatch::RequestDone(Id id) {
  return SetDeadline(id, Clock::time_point::max());
}

bool ConnectionWatch::ReplySent(Id id) {
  std::lock_guard lock(mutex_);
  const auto it = entries_.find(id);
  if (it == entries_.end() || it->second.cut) return false;
  it->second.begun = false;
  it->second.deadline = Clock::now() + options_.head_timeout;
  return true;
}

size_t ConnectionWatch::OpenConnections() const {
  std::lock_guard lock(mutex_);
  return entries_.size();
}

void ConnectionWatch::Cut(Entry& e) {
  e.cut = true;
  e.deadline = Clock::time_point::max();
  // A kept connection with nothing begun just ends; a request left half-sent is told why. The
  // library writes nothing while a request is still arriving, so this cannot land inside a reply.
  if (e.begun) {
    [[maybe_unused]] const ssize_t n =
        ::send(e.fd.get(), kTimeoutReply.data(), kTimeoutReply.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
  }
  ::shutdown(e.fd.get(), SHUT_RDWR);
}

void ConnectionWatch::SweepLoop() {
  std::unique_lock lock(mutex_);
  while (!stop_) {
    wake_.wait_for(lock, options_.sweep);
    const auto now = Clock::now();
    std::vector<std::string> lines;
    for (auto& [id, e] : entries_) {
      if (e.deadline > now) continue;
      if (e.begun) lines.push_back(e.what + " 408 closed: request not complete in time");
      Cut(e);
    }
    if (lines.empty() || !log_) continue;
    lock.unlock();
    for (const std::string& line : lines)
      log_(line);
    lock.lock();
  }
}

}  // namespace qelo::service
