#include "reply_stream.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace qelo::service {
namespace {

using GetName = int (*)(int, sockaddr*, socklen_t*);

void AddressOf(int fd, GetName get, std::string& ip, int& port) {
  ip.clear();
  port = 0;
  sockaddr_storage addr{};
  socklen_t len = sizeof addr;
  if (get(fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0) return;
  char text[INET6_ADDRSTRLEN] = {};
  if (addr.ss_family == AF_INET) {
    const auto& in = reinterpret_cast<const sockaddr_in&>(addr);
    if (inet_ntop(AF_INET, &in.sin_addr, text, sizeof text)) ip = text;
    port = ntohs(in.sin_port);
  } else if (addr.ss_family == AF_INET6) {
    const auto& in6 = reinterpret_cast<const sockaddr_in6&>(addr);
    if (inet_ntop(AF_INET6, &in6.sin6_addr, text, sizeof text)) ip = text;
    port = ntohs(in6.sin6_port);
  }
}

}  // namespace

ReplyStream::ReplyStream(int fd, std::string request, std::chrono::milliseconds stall)
    : fd_(fd), request_(std::move(request)), stall_(stall) {}

ssize_t ReplyStream::read(char* ptr, size_t size) {
  const size_t n = std::min(size, request_.size() - read_pos_);
  std::memcpy(ptr, request_.data() + read_pos_, n);
  read_pos_ += n;
  return static_cast<ssize_t>(n);
}

ssize_t ReplyStream::write(const char* ptr, size_t size) {
  if (failed_) return -1;
  out_.append(ptr, size);
  if (out_.size() >= kGatherBytes && !Flush()) return -1;
  return static_cast<ssize_t>(size);
}

bool ReplyStream::Flush() {
  size_t sent = 0;
  while (!failed_ && sent < out_.size()) {
    const ssize_t n = ::send(fd_, out_.data() + sent, out_.size() - sent, MSG_NOSIGNAL);
    if (n > 0) {
      sent += static_cast<size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      pollfd p{fd_, POLLOUT, 0};
      const int r = ::poll(&p, 1, static_cast<int>(stall_.count()));
      if (r > 0 || (r < 0 && errno == EINTR)) continue;
    }
    failed_ = true;
  }
  out_.clear();
  return !failed_;
}

void ReplyStream::get_remote_ip_and_port(std::string& ip, int& port) const {
  AddressOf(fd_, ::getpeername, ip, port);
}

void ReplyStream::get_local_ip_and_port(std::string& ip, int& port) const {
  AddressOf(fd_, ::getsockname, ip, port);
}

}  // namespace qelo::service
