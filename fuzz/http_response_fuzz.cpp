// Response reception of a real THttpClient: the fuzz input is what a loopback server sends back,
// written in up to four pieces with dispatcher turns between them, then the server half-closes.
// The client runs its full path: connect, request, status line, header fields, body by length,
// by chunks or until the close, relocation to the same server (which answers every connection
// with the same bytes), and the end of the request. When the client keeps the connection after
// a response, a second request may follow on it and gets the same bytes.
//
// Invariants: exactly one OnRequestDone per request, in state httpReady, and none after it; the
// request ends once the server has sent everything and half-closed; at OnDocBegin RcvdCount is
// 0 and at every OnDocData RcvdCount equals the bytes delivered for this response and the piece
// is the tail of RcvdStream; RcvdStream holds exactly the delivered bytes, less the bodies that
// a relocation cuts back.
//
// Relocations are followed only to this server (a relative or absolute path, or an absolute URL
// naming 127.0.0.1 with its port) or to a non-http URL naming 127.0.0.1, which ends at the
// lookup; any other target is aborted in OnLocationChange so no name is ever looked up.
#include <arpa/inet.h>
#include <fcntl.h>
#include <fuzzer/FuzzedDataProvider.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "net/dispatcher.h"
#include "net/http_client.h"
#include "net/http_response.h"
#include "net/http_url.h"
#include "net/stream.h"

namespace {

using namespace qelo::net;

constexpr auto kRequestLimit = std::chrono::seconds(3);

[[noreturn]] void Violation(const char* what) {
  std::fprintf(stderr, "invariant violated: %s\n", what);
  std::abort();
}

class OwnedFd {
 public:
  explicit OwnedFd(int fd = -1) : fd_(fd) {}
  ~OwnedFd() {
    if (fd_ >= 0) ::close(fd_);
  }
  OwnedFd(const OwnedFd&) = delete;
  OwnedFd& operator=(const OwnedFd&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

// The loopback listener, made once for the whole run.
class Listener {
 public:
  Listener() : fd_(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0)) {
    const int on = 1;
    ::setsockopt(fd_.get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    if (::bind(fd_.get(), reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
        ::listen(fd_.get(), 64) != 0 ||
        ::getsockname(fd_.get(), reinterpret_cast<sockaddr*>(&a), &len) != 0) {
      std::perror("loopback listener");
      std::abort();
    }
    port_ = std::to_string(ntohs(a.sin_port));
  }
  int fd() const { return fd_.get(); }
  const std::string& Port() const { return port_; }

 private:
  OwnedFd fd_;
  std::string port_;
};

// One accepted connection of the server side.
struct ServerConn {
  explicit ServerConn(int fd) : fd(fd) {}
  OwnedFd fd;
  std::string received;
  bool requestSeen = false;  // a request header arrived and has not been answered yet
  bool halfClosed = false;
  bool watched = true;
};

bool StartsWithNoCase(std::string_view s, std::string_view prefix) {
  if (s.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(s[i])) != prefix[i]) return false;
  return true;
}

class Session {
 public:
  Session(const Listener& listener, std::vector<std::string> pieces)
      : listener_(listener), pieces_(std::move(pieces)), d_(Dispatcher::current()) {
    d_.watchFd(listener_.fd(), kFdRead, [this](uint32_t) { AcceptAll(); });
  }
  ~Session() {
    for (auto& c : conns_)
      if (c->watched) d_.unwatchFd(c->fd.get());
    d_.unwatchFd(listener_.fd());
  }

  // With again, a request that ended on a connection the client keeps is followed by a GET on
  // that connection, answered with the same bytes.
  void Run(THttpClient& client, THttpRequest method, bool again) {
    client_ = &client;
    client.URL = "http://127.0.0.1:" + listener_.Port() + "/dir/page.php?q=1";
    client.RcvdStream = &rcvd_;
    client.OnHeaderBegin = [this](THttpClient*) { headerLine_ = 0; };
    client.OnHeaderData = [this](THttpClient* c) { NoteHeaderLine(*c); };
    client.OnDocBegin = [this](THttpClient* c) { DocBegin(*c); };
    client.OnDocData = [this](THttpClient* c, const char* p, int64_t n) { DocData(*c, p, n); };
    client.OnLocationChange = [this](THttpClient* c) { LocationChange(*c); };
    client.OnRequestDone = [this](THttpClient* c, THttpRequest, uint16_t) { RequestDone(*c); };
    keepOpen_ = again;
    switch (method) {
      case httpPOST:
        client.PostASync();
        break;
      case httpHEAD:
        client.HeadASync();
        break;
      default:
        client.GetASync();
        break;
    }
    Await(1);
    if (!again || client.State() != httpReady || client.CtrlSocket().State() != wsConnected) return;
    keepOpen_ = false;
    bodyStart_ = -1;  // a new request: no body of it began yet
    client.GetASync();
    Await(2);
  }

 private:
  void AcceptAll() {
    while (true) {
      const int fd = ::accept4(listener_.fd(), nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
      if (fd < 0) return;
      conns_.push_back(std::make_unique<ServerConn>(fd));
      ServerConn* conn = conns_.back().get();
      d_.watchFd(fd, kFdRead, [this, conn](uint32_t) { ReadRequest(*conn); });
    }
  }

  void Await(uint64_t count) {
    expected_ = count;
    const auto deadline = std::chrono::steady_clock::now() + kRequestLimit;
    while (done_ < count) {
      if (std::chrono::steady_clock::now() > deadline) Violation("the request did not end");
      bool answered = false;
      for (auto& c : conns_) {
        if (c->requestSeen && !c->halfClosed) {
          Answer(*c);
          answered = true;
        }
      }
      if (!answered) d_.runOnce(50);
    }
    // Whatever is still queued runs now; no second end may come out of it.
    for (int i = 0; i < 64 && d_.runOnce(0); ++i) {
    }
    if (done_ != count) Violation("OnRequestDone fired more than once");
  }

  void ReadRequest(ServerConn& c) {
    char buf[4096];
    while (true) {
      const ssize_t n = ::recv(c.fd.get(), buf, sizeof buf, 0);
      if (n > 0) {
        if (c.received.size() < 65536) c.received.append(buf, static_cast<size_t>(n));
        if (c.received.find("\r\n\r\n") != std::string::npos) c.requestSeen = true;
        continue;
      }
      if (n < 0 && (errno == EAGAIN || errno == EINTR)) return;
      d_.unwatchFd(c.fd.get());  // closed by the client, or reset
      c.watched = false;
      return;
    }
  }

  // Writes the pieces with dispatcher turns between them, then half-closes unless the request
  // ended meanwhile and a second one may follow on this connection.
  void Answer(ServerConn& c) {
    c.requestSeen = false;
    c.received.clear();
    const uint64_t doneBefore = done_;
    for (const std::string& piece : pieces_) {
      if (done_ != doneBefore) break;
      if (!piece.empty() && ::send(c.fd.get(), piece.data(), piece.size(), MSG_NOSIGNAL) !=
                                static_cast<ssize_t>(piece.size()))
        break;
      for (int i = 0; i < 32 && d_.runOnce(0); ++i) {
      }
    }
    if (keepOpen_ && done_ != doneBefore) return;
    ::shutdown(c.fd.get(), SHUT_WR);
    c.halfClosed = true;
  }

  void NoteHeaderLine(THttpClient& c) {
    // Every line after the first of a header may be a field; a later status line counted as a
    // field only makes the check below stricter.
    if (headerLine_++ == 0 || c.RcvdHeader().empty()) return;
    const auto field = SplitHeaderField(c.RcvdHeader().back());
    if (field && field->Name == "location" && !field->Value.empty()) lastLocation_ = field->Value;
  }

  bool SafeTarget() const {
    const std::string& v = lastLocation_;
    if (!StartsWithNoCase(v, "http://") && !StartsWithNoCase(v, "https://")) return true;
    const TUrlParts parts = ParseURL(v);
    return parts.Host == "127.0.0.1" && (parts.Proto != "http" || parts.Port == listener_.Port());
  }

  void DocBegin(THttpClient& c) {
    if (c.RcvdCount() != 0) Violation("RcvdCount is not 0 when a body begins");
    if (static_cast<int64_t>(mirror_.size()) != rcvd_.Size())
      Violation("RcvdStream differs from the delivered bytes when a body begins");
    bodyStart_ = rcvd_.Size();
    responseBytes_ = 0;
  }

  void DocData(THttpClient& c, const char* p, int64_t n) {
    if (n <= 0) Violation("OnDocData with no bytes");
    responseBytes_ += n;
    mirror_.append(p, static_cast<size_t>(n));
    if (c.RcvdCount() != responseBytes_) Violation("RcvdCount differs from the bytes delivered");
    const std::string_view text = rcvd_.Text();
    if (text.size() < static_cast<size_t>(n) ||
        text.substr(text.size() - static_cast<size_t>(n)) != std::string_view(p, n))
      Violation("the delivered piece is not the tail of RcvdStream");
  }

  void LocationChange(THttpClient& c) {
    if (!SafeTarget()) {
      c.Abort();
      return;
    }
    // The client cuts RcvdStream back to where the body that led here began.
    if (bodyStart_ >= 0) mirror_.resize(static_cast<size_t>(bodyStart_));
    bodyStart_ = -1;
    lastLocation_.clear();
  }

  void RequestDone(THttpClient& c) {
    if (++done_ > expected_) Violation("OnRequestDone fired more than once");
    if (c.State() != httpReady) Violation("OnRequestDone outside httpReady");
    if (rcvd_.Text() != mirror_) Violation("RcvdStream differs from the bytes delivered");
    if (c.RcvdCount() != responseBytes_ && c.RcvdCount() != 0)
      Violation("RcvdCount differs from the last response's bytes");
  }

  const Listener& listener_;
  std::vector<std::string> pieces_;
  Dispatcher& d_;
  THttpClient* client_ = nullptr;
  std::vector<std::unique_ptr<ServerConn>> conns_;
  TMemoryStream rcvd_;
  std::string mirror_;
  int64_t bodyStart_ = -1;
  int64_t responseBytes_ = 0;
  int headerLine_ = 0;
  std::string lastLocation_;
  uint64_t done_ = 0;
  uint64_t expected_ = 1;
  bool keepOpen_ = false;
};

// The response split at up to three input-chosen points.
std::vector<std::string> Pieces(FuzzedDataProvider& in) {
  const int splits = in.ConsumeIntegralInRange<int>(0, 3);
  std::vector<size_t> at;
  for (int i = 0; i < splits; ++i)
    at.push_back(in.ConsumeIntegral<uint16_t>());
  const std::string response = in.ConsumeRemainingBytesAsString();
  for (size_t& a : at)
    a = response.empty() ? 0 : a % response.size();
  std::sort(at.begin(), at.end());
  std::vector<std::string> pieces;
  size_t from = 0;
  for (size_t a : at) {
    pieces.push_back(response.substr(from, a - from));
    from = a;
  }
  pieces.push_back(response.substr(from));
  return pieces;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const Listener listener;
  FuzzedDataProvider in(data, size);
  const bool http11 = in.ConsumeBool();
  constexpr THttpRequest kMethods[] = {httpGET, httpPOST, httpHEAD};
  const THttpRequest method = kMethods[in.ConsumeIntegralInRange<int>(0, 2)];
  const bool follow = in.ConsumeBool();
  const bool again = in.ConsumeBool();
  std::vector<std::string> pieces = Pieces(in);
  {
    TMemoryStream form("q=1&page=2");
    THttpClient client;
    client.Name = "HttpClient1";
    if (http11) client.SetRequestVer("1.1");
    client.FollowRelocation = follow;
    client.SendStream = &form;
    Session session(listener, std::move(pieces));
    session.Run(client, method, again);
  }
  // The client is gone: anything it left queued or watched must not reach it.
  for (int i = 0; i < 16 && Dispatcher::current().runOnce(0); ++i) {
  }
  return 0;
}
