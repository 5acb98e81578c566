#include "support/scripted_peer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <stdexcept>

namespace qelo::test {

namespace {

// Shows control bytes so a mismatch of CR LF texts can be read in a test log.
std::string Visible(std::string_view s) {
  constexpr size_t kShown = 200;  // keep failure texts readable for large payloads
  std::string out;
  for (char c : s.substr(0, kShown)) {
    if (c == '\r')
      out += "\\r";
    else if (c == '\n')
      out += "\\n";
    else if (static_cast<unsigned char>(c) < 32 || static_cast<unsigned char>(c) > 126) {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02x", static_cast<unsigned char>(c));
      out += hex;
    } else
      out += c;
  }
  return out;
}

// Waits for fd to be ready; false on timeout or when stopFd (the stop pipe) becomes readable.
bool WaitFor(int fd, short events, int timeoutMs, int stopFd) {
  pollfd p[2] = {{fd, events, 0}, {stopFd, POLLIN, 0}};
  int rc;
  do {
    rc = ::poll(p, 2, timeoutMs);
  } while (rc < 0 && errno == EINTR);
  return rc > 0 && p[1].revents == 0 && p[0].revents != 0;
}

}  // namespace

PeerStep Expect(std::string bytes) {
  PeerStep s;
  s.kind = PeerStep::kExpect;
  s.data = std::move(bytes);
  return s;
}

PeerStep ExpectUntil(std::string terminator) {
  PeerStep s;
  s.kind = PeerStep::kExpectUntil;
  s.data = std::move(terminator);
  return s;
}

PeerStep ExpectCount(size_t count) {
  PeerStep s;
  s.kind = PeerStep::kExpectCount;
  s.count = count;
  return s;
}

PeerStep ReadToEof() {
  PeerStep s;
  s.kind = PeerStep::kReadToEof;
  return s;
}

PeerStep Send(std::string bytes, std::vector<size_t> pieces, int gapMs) {
  PeerStep s;
  s.kind = PeerStep::kSend;
  s.data = std::move(bytes);
  s.pieces = std::move(pieces);
  s.gapMs = gapMs;
  return s;
}

PeerStep Delay(int ms) {
  PeerStep s;
  s.kind = PeerStep::kDelay;
  s.gapMs = ms;
  return s;
}

PeerStep ShutdownWrite() {
  PeerStep s;
  s.kind = PeerStep::kShutdownWrite;
  return s;
}

PeerStep Close() {
  PeerStep s;
  s.kind = PeerStep::kClose;
  return s;
}

PeerStep Gate() {
  PeerStep s;
  s.kind = PeerStep::kGate;
  return s;
}

PeerStep Reset() {
  PeerStep s;
  s.kind = PeerStep::kReset;
  return s;
}

ScriptedPeer::ScriptedPeer(std::vector<PeerScript> scripts, int stepTimeoutMs)
    : scripts_(std::move(scripts)), stepTimeoutMs_(stepTimeoutMs), received_(scripts_.size()) {
  listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (listenFd_ < 0) throw std::runtime_error("scripted peer: socket failed");
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  a.sin_port = 0;
  socklen_t len = sizeof a;
  if (::bind(listenFd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
      ::listen(listenFd_, 8) != 0 ||
      ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&a), &len) != 0) {
    ::close(listenFd_);
    throw std::runtime_error("scripted peer: cannot listen on 127.0.0.1");
  }
  port_ = ntohs(a.sin_port);
  if (::pipe2(stopPipe_, O_CLOEXEC) != 0) {
    ::close(listenFd_);
    throw std::runtime_error("scripted peer: pipe failed");
  }
  thread_ = std::thread([this] { Run(); });
}

ScriptedPeer::~ScriptedPeer() {
  // A script still waiting (the test ended early) gives up at once instead of timing out.
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  gateCv_.notify_all();
  const char stop = 1;
  [[maybe_unused]] const ssize_t written = ::write(stopPipe_[1], &stop, 1);
  Finish();
  ::close(listenFd_);
  ::close(stopPipe_[0]);
  ::close(stopPipe_[1]);
}

bool ScriptedPeer::Finish() {
  if (thread_.joinable()) thread_.join();
  std::lock_guard lock(mutex_);
  return failure_.empty();
}

std::string ScriptedPeer::Failure() const {
  std::lock_guard lock(mutex_);
  return failure_;
}

std::string ScriptedPeer::Received(size_t connection) const {
  std::lock_guard lock(mutex_);
  return connection < received_.size() ? received_[connection] : std::string();
}

void ScriptedPeer::Fail(const std::string& text) {
  std::lock_guard lock(mutex_);
  if (failure_.empty()) failure_ = text;
}

void ScriptedPeer::Run() {
  for (size_t i = 0; i < scripts_.size(); ++i) {
    if (!WaitFor(listenFd_, POLLIN, stepTimeoutMs_, stopPipe_[0])) {
      Fail("connection " + std::to_string(i + 1) + ": no connection arrived");
      break;
    }
    const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) {
      Fail("connection " + std::to_string(i + 1) + ": accept failed");
      break;
    }
    ++accepted_;
    const bool ok = RunScript(fd, i);
    ::close(fd);  // after kReset's linger 0 this sends the reset
    if (!ok) break;
  }
  done_ = true;
}

bool ScriptedPeer::RunScript(int fd, size_t index) {
  const PeerScript& script = scripts_[index];
  for (size_t n = 0; n < script.size(); ++n) {
    if (!RunStep(fd, index, n, script[n])) return false;
    const auto kind = script[n].kind;
    if (kind == PeerStep::kClose || kind == PeerStep::kReset) return true;
  }
  return true;
}

bool ScriptedPeer::ReadSome(int fd, size_t index, std::string& into, size_t want) {
  char buf[65536];
  if (!WaitFor(fd, POLLIN, stepTimeoutMs_, stopPipe_[0])) return false;
  ssize_t n;
  do {
    n = ::recv(fd, buf, std::min(sizeof buf, want), 0);
  } while (n < 0 && errno == EINTR);
  if (n <= 0) return false;
  into.append(buf, static_cast<size_t>(n));
  std::lock_guard lock(mutex_);
  received_[index].append(buf, static_cast<size_t>(n));
  return true;
}

bool ScriptedPeer::WriteAll(int fd, const char* data, size_t len) {
  while (len > 0) {
    if (!WaitFor(fd, POLLOUT, stepTimeoutMs_, stopPipe_[0])) return false;
    const ssize_t n = ::send(fd, data, len, MSG_NOSIGNAL);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += n;
    len -= static_cast<size_t>(n);
  }
  return true;
}

bool ScriptedPeer::RunStep(int fd, size_t index, size_t stepNo, const PeerStep& step) {
  const std::string where =
      "connection " + std::to_string(index + 1) + " step " + std::to_string(stepNo + 1) + ": ";
  switch (step.kind) {
    case PeerStep::kExpect:
    case PeerStep::kExpectCount: {
      const size_t want = step.kind == PeerStep::kExpect ? step.data.size() : step.count;
      std::string got;
      while (got.size() < want)
        if (!ReadSome(fd, index, got, want - got.size())) break;
      if (got.size() < want) {
        Fail(where + "expected " + std::to_string(want) + " bytes, got " +
             std::to_string(got.size()) + " \"" + Visible(got) + "\"");
        return false;
      }
      if (step.kind == PeerStep::kExpect && got != step.data) {
        Fail(where + "expected \"" + Visible(step.data) + "\" got \"" + Visible(got) + "\"");
        return false;
      }
      return true;
    }
    case PeerStep::kExpectUntil: {
      std::string got;
      // One byte at a time, so nothing after the terminator is taken from a later step.
      while (got.find(step.data) == std::string::npos)
        if (!ReadSome(fd, index, got, 1)) {
          Fail(where + "terminator \"" + Visible(step.data) + "\" not seen in \"" + Visible(got) +
               "\"");
          return false;
        }
      return true;
    }
    case PeerStep::kReadToEof: {
      std::string got;
      while (ReadSome(fd, index, got, 65536)) {
      }
      return true;
    }
    case PeerStep::kSend: {
      size_t pos = 0;
      std::vector<size_t> pieces = step.pieces;
      size_t given = 0;
      for (size_t p : pieces)
        given += p;
      if (given < step.data.size()) pieces.push_back(step.data.size() - given);
      for (size_t i = 0; i < pieces.size() && pos < step.data.size(); ++i) {
        if (i > 0 && step.gapMs > 0)
          std::this_thread::sleep_for(std::chrono::milliseconds(step.gapMs));
        const size_t len = std::min(pieces[i], step.data.size() - pos);
        if (!WriteAll(fd, step.data.data() + pos, len)) {
          Fail(where + "send failed after " + std::to_string(pos) + " bytes");
          return false;
        }
        pos += len;
      }
      return true;
    }
    case PeerStep::kGate: {
      std::unique_lock lock(mutex_);
      const bool open = gateCv_.wait_for(lock, std::chrono::milliseconds(stepTimeoutMs_), [&] {
        return stopping_ || gatesReleased_ > gatesPassed_;
      });
      if (!open || stopping_) {
        if (failure_.empty()) failure_ = where + "gate never released";
        return false;
      }
      ++gatesPassed_;
      return true;
    }
    case PeerStep::kDelay:
      std::this_thread::sleep_for(std::chrono::milliseconds(step.gapMs));
      return true;
    case PeerStep::kShutdownWrite:
      ::shutdown(fd, SHUT_WR);
      return true;
    case PeerStep::kClose: {
      ::shutdown(fd, SHUT_WR);
      // Unread input at close makes the kernel answer with a reset: take what has arrived.
      char sink[4096];
      while (::recv(fd, sink, sizeof sink, MSG_DONTWAIT) > 0) {
      }
      return true;  // the caller closes the descriptor
    }
    case PeerStep::kReset: {
      linger lg{1, 0};
      ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &lg, sizeof lg);
      return true;  // closing with linger 0 sends the reset
    }
  }
  return false;
}

void ScriptedPeer::ReleaseGate() {
  {
    std::lock_guard lock(mutex_);
    ++gatesReleased_;
  }
  gateCv_.notify_all();
}

uint16_t UnusedLoopbackPort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof a;
  ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
  ::close(fd);
  return ntohs(a.sin_port);
}

}  // namespace qelo::test
