#include "net/async_socket.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "net/address_resolve.h"
#include "net/dns_lookup.h"
#include "text/ascii_text.h"

namespace qelo::net {

namespace {

// Marks a readiness message posted by the socket itself rather than by the watch.
constexpr uint32_t kSynthetic = 1u << 30;

std::string Trim(std::string_view s) {
  return std::string(text::Trim(s));
}

int SystemError() {
  return SocketErrorFromErrno(errno);
}

}  // namespace

const char* SocketStateName(TSocketState State) {
  switch (State) {
    case wsInvalidState:
      return "wsInvalidState";
    case wsOpened:
      return "wsOpened";
    case wsBound:
      return "wsBound";
    case wsConnecting:
      return "wsConnecting";
    case wsSocksConnected:
      return "wsSocksConnected";
    case wsConnected:
      return "wsConnected";
    case wsAccepting:
      return "wsAccepting";
    case wsListening:
      return "wsListening";
    case wsClosed:
      return "wsClosed";
  }
  return "?";
}

// --- Life ------------------------------------------------------------------------------------

TAsyncSocket::TAsyncSocket(int extraSlots)
    : TNetWndControl(kSocketSlotCount + std::max(0, extraSlots)) {}

TAsyncSocket::~TAsyncSocket() {
  destroying_ = true;
  // No event reaches an owner that is tearing this component down.
  OnDnsLookupDone = nullptr;
  OnSessionConnected = nullptr;
  OnDataAvailable = nullptr;
  OnDataSent = nullptr;
  OnSessionClosed = nullptr;
  OnError = nullptr;
  OnChangeState = nullptr;
  OnSendData = nullptr;
  try {
    DropPendingLookup();
    dns_.reset();
    InternalClose(false, 0);
  } catch (...) {
    // Nothing may escape a destructor; the descriptor is released by InternalClose first.
  }
}

// --- Errors ------------------------------------------------------------------------------------

void TAsyncSocket::ReportError(const std::string& Text) {
  lastErrorText_ = Text;
  if (OnError) {
    FireEvent(OnError, this);
    return;
  }
  throw ESocketException(Text, lastError_);
}

void TAsyncSocket::RaiseException(const std::string& Msg, int ErrCode) {
  if (ErrCode != 0) lastError_ = ErrCode;
  ReportError(Msg);
}

void TAsyncSocket::SocketError(const std::string& Step, int ErrCode) {
  const std::string text =
      SocketErrorDesc(ErrCode) + " (#" + std::to_string(ErrCode) + " in " + Step + ")";
  if (ErrCode == kSockConnectionReset || ErrCode == kSockNotConnected) {
    const TLifeGuard::TCheck alive = life_.Check();
    InternalClose(false, ErrCode);
    if (!alive) return;
  }
  lastError_ = ErrCode;
  ReportError(text);
}

// --- Properties --------------------------------------------------------------------------------

bool TAsyncSocket::CanChange(const char* Name) {
  if (state_ == wsClosed) return true;
  RaiseException(std::string("Cannot change ") + Name + " if not closed");
  return false;
}

void TAsyncSocket::SetAddr(std::string_view Value) {
  if (!CanChange("Addr")) return;
  addr_ = Trim(Value);
  addrAssigned_ = true;
}

void TAsyncSocket::SetPort(std::string_view Value) {
  if (!CanChange("Port")) return;
  port_ = Trim(Value);
  portAssigned_ = true;
}

void TAsyncSocket::SetProto(std::string_view Value) {
  if (!CanChange("Proto")) return;
  proto_ = Trim(Value);
  protoAssigned_ = true;
}

void TAsyncSocket::SetLocalAddr(std::string_view Value) {
  if (!CanChange("LocalAddr")) return;
  localAddr_ = Value.empty() ? "0.0.0.0" : std::string(Value);
}

void TAsyncSocket::SetLocalPort(std::string_view Value) {
  if (!CanChange("LocalPort")) return;
  localPort_ = std::string(Value);
}

void TAsyncSocket::SetBufSize(int Value) {
  sendBuffer_.SetBufSize(Value);
}

void TAsyncSocket::RestoreDefaults() {
  proto_ = "tcp";
  protoAssigned_ = true;
  localAddr_ = "0.0.0.0";
  localPort_ = "0";
  lingerOnOff_ = wsLingerOn;
  lingerTimeout_ = 0;
  flushTimeout_ = 60;
  addrAssigned_ = false;
  portAssigned_ = false;
  closeReported_ = false;
  paused_ = false;
  allSent_ = true;
  missedSentNotice_ = false;
}

void TAsyncSocket::ChangeState(TSocketState NewState) {
  const TSocketState old = state_;
  state_ = NewState;
  if (old != NewState) FireEvent(OnChangeState, this, old, NewState);
}

// --- Connecting --------------------------------------------------------------------------------

bool TAsyncSocket::PrepareConnect(uint32_t& RemoteIp, uint16_t& RemotePort, uint32_t& LocalIp,
                                  uint16_t& LocalPortNum) {
  int proto = 0;
  TResolveError err;
  bool ok = ResolveProto(proto_, proto, err) && ResolvePort(port_, "tcp", RemotePort, err) &&
            ResolvePort(localPort_.empty() ? "0" : localPort_, "tcp", LocalPortNum, err) &&
            ResolveHost(addr_, RemoteIp, err) && ResolveHost(localAddr_, LocalIp, err);
  if (!ok) {
    RaiseException("connect: " + err.text, err.code);
    return false;
  }
  if (proto != IPPROTO_TCP) {
    // Only TCP client connections exist in this layer.
    SocketError("Connect (socket)", kSockTypeNotSupported);
    return false;
  }
  return true;
}

void TAsyncSocket::Connect() {
  if (IsOpen() && state_ != wsClosed) {
    RaiseException("Connect: Socket already in use");
    return;
  }
  if (!portAssigned_) {
    RaiseException("Connect: No Port Specified");
    return;
  }
  if (!addrAssigned_) {
    RaiseException("Connect: No IP Address Specified");
    return;
  }
  if (!protoAssigned_) {
    RaiseException("Connect: No Protocol Specified");
    return;
  }
  uint32_t remoteIp = 0;
  uint32_t localIp = 0;
  uint16_t remotePort = 0;
  uint16_t localPort = 0;
  if (!PrepareConnect(remoteIp, remotePort, localIp, localPort)) return;
  sendBuffer_.Clear();
  const TLifeGuard::TCheck alive = life_.Check();
  try {
    if (!OpenSocket(remoteIp, remotePort, localIp, localPort) && alive) ReleaseSocketQuietly();
  } catch (...) {
    if (alive) ReleaseSocketQuietly();
    throw;
  }
}

bool TAsyncSocket::OpenSocket(uint32_t RemoteIp, uint16_t RemotePort, uint32_t LocalIp,
                              uint16_t LocalPortNum) {
  if (!CreateSocket()) return false;
  const uint64_t serial = connSerial_;
  const TLifeGuard::TCheck alive = life_.Check();
  if (!ReadBufferSizes()) return false;

  ChangeState(wsOpened);
  if (!alive) return true;
  if (!SameConnection(serial) || state_ != wsOpened) {
    // A handler closed (or replaced) the socket: this attempt ends with an error. A socket
    // the handler opened instead is left alone.
    const bool replaced = !SameConnection(serial);
    SocketError("Connect (Invalid operation in OnChangeState)", kSockInvalidArgument);
    return replaced;
  }

  if (!ApplySocketOptions() || !BindLocal(LocalIp, LocalPortNum) || !StartWatching() ||
      !StartConnect(RemoteIp, RemotePort))
    return false;
  ChangeState(wsConnecting);
  return true;
}

bool TAsyncSocket::CreateSocket() {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_TCP);
  if (fd < 0) {
    SocketError("Connect (socket)", SystemError());
    return false;
  }
  fd_ = fd;
  ++connSerial_;
  notifyPosted_ = false;
  closeReported_ = false;
  paused_ = false;
  allSent_ = true;
  missedSentNotice_ = false;
  connectError_ = 0;
  recvError_ = 0;
  readCount_ = 0;
  writeCount_ = 0;
  return true;
}

bool TAsyncSocket::ReadBufferSizes() {
  socklen_t len = sizeof sndBufSize_;
  if (getsockopt(fd_, SOL_SOCKET, SO_SNDBUF, &sndBufSize_, &len) != 0) {
    SocketError("getsockopt(SO_SNDBUF)", SystemError());
    return false;
  }
  len = sizeof rcvBufSize_;
  if (getsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &rcvBufSize_, &len) != 0) {
    SocketError("getsockopt(SO_RCVBUF)", SystemError());
    return false;
  }
  return true;
}

bool TAsyncSocket::ApplySocketOptions() {
  const int one = 1;
  if (setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one) != 0) {
    SocketError("setsockopt(SO_REUSEADDR)", SystemError());
    return false;
  }
  if ((options_ & wsoTcpNoDelay) != 0 &&
      setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one) != 0) {
    SocketError("setsockopt(IPPROTO_TCP, TCP_NODELAY)", SystemError());
    return false;
  }
  if (lingerOnOff_ != wsLingerNoSet) {
    linger lg{};
    lg.l_onoff = lingerOnOff_ == wsLingerOn ? 1 : 0;
    lg.l_linger = lingerTimeout_;
    if (setsockopt(fd_, SOL_SOCKET, SO_LINGER, &lg, sizeof lg) != 0) {
      SocketError("setsockopt(SO_LINGER)", SystemError());
      return false;
    }
  }
  return true;
}

bool TAsyncSocket::BindLocal(uint32_t LocalIp, uint16_t LocalPortNum) {
  if (LocalPortNum == 0 && LocalIp == htonl(INADDR_ANY)) return true;
  sockaddr_in local{};
  local.sin_family = AF_INET;
  local.sin_addr.s_addr = LocalIp;
  local.sin_port = htons(LocalPortNum);
  if (::bind(fd_, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
    const int code = SystemError();
    RaiseException("Bind socket failed - " + SocketErrorDescWithCode(code), code);
    return false;
  }
  return true;
}

bool TAsyncSocket::StartWatching() {
  try {
    WatchSocket();
  } catch (const std::exception&) {
    SocketError("WSAAsyncSelect", SystemError() != 0 ? SystemError() : kSockNoBufferSpace);
    return false;
  }
  return true;
}

bool TAsyncSocket::StartConnect(uint32_t RemoteIp, uint16_t RemotePort) {
  sockaddr_in remote{};
  remote.sin_family = AF_INET;
  remote.sin_addr.s_addr = RemoteIp;
  remote.sin_port = htons(RemotePort);
  int rc;
  do {
    rc = ::connect(fd_, reinterpret_cast<sockaddr*>(&remote), sizeof remote);
  } while (rc != 0 && errno == EINTR);
  if (rc == 0 || errno == EINPROGRESS) return true;
  const int code = SystemError();
  switch (code) {
    case kSockConnectionRefused:
    case kSockNetworkUnreachable:
    case kSockHostUnreachable:
    case kSockTimedOut:
      // The attempt itself failed: like any other attempt it ends from the loop.
      connectError_ = code;
      PostNotify(kFdError | kSynthetic);
      return true;
    default:
      SocketError("Connect", code);
      return false;
  }
}

void TAsyncSocket::ReleaseSocketQuietly() {
  if (!IsOpen() && state_ == wsClosed) return;
  closeReported_ = true;  // never connected: no close event for this socket
  InternalClose(false, 0);
}

// --- Notifications -----------------------------------------------------------------------------

uint32_t TAsyncSocket::WantedInterest() const {
  switch (state_) {
    case wsOpened:
    case wsConnecting:
      return kFdWrite;  // connect completion; failures come as error / hang-up
    case wsConnected:
    case wsSocksConnected:
      return kFdRead | (sendBuffer_.Empty() ? 0u : kFdWrite);
    default:
      return 0;
  }
}

void TAsyncSocket::WatchSocket() {
  const int fd = fd_;
  const uint64_t serial = connSerial_;
  Dispatcher& d = dispatcher();
  // Readiness becomes one posted message; the watch stays silent until that message has been
  // handled and re-arms it, so the queue never fills with repeats.
  d.watchFd(fd, paused_ ? 0u : WantedInterest(), [this, &d, fd, serial](uint32_t events) {
    d.setFdInterest(fd, 0);
    if (notifyPosted_ || serial != connSerial_) return;
    notifyPosted_ = true;
    PostMsg(Msg(kSlotNotify), static_cast<uintptr_t>(serial), static_cast<intptr_t>(events));
  });
}

void TAsyncSocket::ArmNotifications() {
  if (!IsOpen() || paused_ || notifyPosted_) return;
  dispatcher().setFdInterest(fd_, WantedInterest());
}

void TAsyncSocket::PostNotify(uint32_t Events) {
  PostMsg(Msg(kSlotNotify), static_cast<uintptr_t>(connSerial_), static_cast<intptr_t>(Events));
}

int TAsyncSocket::CloseError() {
  int err = 0;
  socklen_t len = sizeof err;
  if (IsOpen() && getsockopt(fd_, SOL_SOCKET, SO_ERROR, &err, &len) == 0 && err != 0)
    return SocketErrorFromErrno(err);
  return recvError_;
}

void TAsyncSocket::HandleNotify(uint64_t Serial, uint32_t Events) {
  const bool synthetic = (Events & kSynthetic) != 0;
  if (!SameConnection(Serial)) return;
  if (!synthetic) notifyPosted_ = false;
  if (paused_) {
    if (synthetic && (Events & kFdWrite) != 0) missedSentNotice_ = true;
    return;  // Resume asks for the notifications again
  }
  const TLifeGuard::TCheck alive = life_.Check();
  auto still = [&] { return alive && SameConnection(Serial); };

  if (state_ == wsOpened || state_ == wsConnecting) {
    if ((Events & (kFdWrite | kFdError | kFdHangup)) == 0) {
      ArmNotifications();
      return;
    }
    int err = connectError_ != 0 ? connectError_ : CloseError();
    if (err == 0 && (Events & kFdWrite) == 0) err = kSockConnectionRefused;
    connectError_ = 0;
    DoConnectDone(err);
    if (!still() || err != 0) return;
    Events &= ~(kFdError | kFdHangup);  // reported as the connect result
    if (!sendBuffer_.Empty())
      Events |= kFdWrite;
    else
      Events &= ~kFdWrite;
  } else if ((Events & kFdRead) != 0 && state_ != wsConnected) {
    DoConnectDone(0);  // the readable notice overtook the connect notice
    if (!still()) return;
  }

  if ((Events & kFdRead) != 0) {
    DoReadable();
    if (!still()) return;
  }
  if ((Events & kFdWrite) != 0) {
    DoWritable(0);
    if (!still()) return;
  }
  if ((Events & (kFdError | kFdHangup)) != 0 && !paused_) {
    DoClosed(CloseError());
    if (!still()) return;
  }
  ArmNotifications();
}

void TAsyncSocket::DoConnectDone(int ErrCode) {
  if (state_ == wsConnected) return;
  const TLifeGuard::TCheck alive = life_.Check();
  const uint64_t serial = connSerial_;
  ChangeState(wsConnected);
  if (!alive) return;
  FireEvent(OnSessionConnected, this, static_cast<uint16_t>(ErrCode));
  if (!alive) return;
  if (ErrCode != 0 && state_ != wsClosed && SameConnection(serial)) Close();
}

void TAsyncSocket::DoReadable() {
  const uint64_t serial = connSerial_;
  const TLifeGuard::TCheck alive = life_.Check();
  ReceiveLoop(false);
  if (!alive || !SameConnection(serial) || paused_) return;
  // Readable with nothing left to read: the peer has closed (or reset) its side.
  int err = 0;
  if (PeekClosed(err)) DoClosed(err);
}

bool TAsyncSocket::PeekClosed(int& ErrCode) {
  char probe;
  ssize_t n;
  do {
    n = ::recv(fd_, &probe, 1, MSG_PEEK | MSG_DONTWAIT);
  } while (n < 0 && errno == EINTR);
  if (n > 0) return false;
  if (n == 0) {
    ErrCode = 0;
    return true;
  }
  if (errno == EAGAIN || errno == EWOULDBLOCK) return false;
  ErrCode = SystemError();
  recvError_ = ErrCode;
  return true;
}

void TAsyncSocket::ReceiveLoop(bool Forced) {
  const uint64_t serial = connSerial_;
  const TLifeGuard::TCheck alive = life_.Check();
  while (true) {
    lastError_ = 0;
    const int64_t before = readCount_;
    if (OnDataAvailable) {
      try {
        FireEvent(OnDataAvailable, this, 0);
      } catch (...) {
        return;  // an exception of the handler ends the loop and is swallowed
      }
      if (!alive || !SameConnection(serial)) return;
    } else {
      char sink[16384];
      while (Receive(sink, sizeof sink) > 0) {
      }
    }
    if ((options_ & wsoNoReceiveLoop) != 0 && !Forced) return;
    if (lastError_ != 0 || paused_) return;
    int waiting = 0;
    if (ioctl(fd_, FIONREAD, &waiting) != 0) {
      lastError_ = SystemError();
      return;
    }
    if (waiting == 0) return;
    // A handler that reads nothing would be called forever: the next notification retries.
    if (readCount_ == before) return;
  }
}

void TAsyncSocket::DoWritable(int ErrCode) {
  const uint64_t serial = connSerial_;
  const TLifeGuard::TCheck alive = life_.Check();
  TryToSend();
  if (!alive || !SameConnection(serial)) return;
  if (allSent_) FireEvent(OnDataSent, this, static_cast<uint16_t>(ErrCode));
}

void TAsyncSocket::DoClosed(int ErrCode) {
  if (state_ == wsConnecting || !IsOpen()) return;
  const uint64_t serial = connSerial_;
  const TLifeGuard::TCheck alive = life_.Check();
  ReceiveLoop(true);
  if (!alive || !SameConnection(serial)) return;
  if (ErrCode == 0) ErrCode = recvError_;
  if (!closeReported_) {
    closeReported_ = true;
    FireEvent(OnSessionClosed, this, static_cast<uint16_t>(ErrCode));
    if (!alive) return;
  }
  if (state_ != wsClosed && SameConnection(serial)) Close();
}

// --- Sending and receiving ---------------------------------------------------------------------

int TAsyncSocket::AppendToSendBuffer(const void* Data, int Len) {
  if (Data != nullptr && Len > 0) sendBuffer_.Write(Data, Len);
  return Len;
}

int TAsyncSocket::Send(const void* Data, int Len) {
  if (state_ != wsConnected && state_ != wsSocksConnected) {
    lastError_ = kSockNotConnected;
    SocketError("Send", kSockNotConnected);
    return -1;
  }
  allSent_ = false;
  AppendToSendBuffer(Data, Len);
  const uint64_t serial = connSerial_;
  const TLifeGuard::TCheck alive = life_.Check();
  TryToSend();
  if (!alive || !SameConnection(serial)) return Len;
  if (allSent_)
    PostNotify(kFdWrite | kSynthetic);  // OnDataSent follows from the loop
  else
    ArmNotifications();  // the rest waits for writable
  return Len;
}

bool TAsyncSocket::TryToSend() {
  if (sending_) return false;  // called from OnSendData: the running loop sends the new bytes
  if (!IsOpen() || sendBuffer_.Empty()) {
    allSent_ = true;
    return true;
  }
  const uint64_t serial = connSerial_;
  const TLifeGuard::TCheck alive = life_.Check();
  sending_ = true;
  int err = 0;
  while (true) {
    const std::string_view chunk = sendBuffer_.Peek();
    if (chunk.empty()) {
      allSent_ = true;
      break;
    }
    const ssize_t n = ::send(fd_, chunk.data(), chunk.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n < 0) {
      if (errno == EINTR) continue;
      err = SystemError();
      break;
    }
    if (n == 0) break;
    // Taken off the buffer before the event, so a handler that sends again never resends them.
    sendBuffer_.Remove(static_cast<int>(n));
    writeCount_ += n;
    FireEvent(OnSendData, this, static_cast<int>(n));
    if (!alive) return false;
    if (!SameConnection(serial)) {
      sending_ = false;
      return false;
    }
    if (static_cast<size_t>(n) < chunk.size()) break;
  }
  sending_ = false;
  switch (err) {
    case 0:
    case kSockWouldBlock:
      return allSent_;
    case kSockInvalidArgument:
    case kSockNotSocket:
    case kSockConnectionAborted:
    case kSockConnectionReset:
    case kSockNotConnected:
      lastError_ = err;
      InternalClose(false, err);
      return false;
    default:
      SocketError("TryToSend failed", err);
      return false;
  }
}

int TAsyncSocket::Receive(void* Buffer, int BufferSize) {
  if (!IsOpen()) {
    lastError_ = kSockNotConnected;
    return -1;
  }
  if (Buffer == nullptr || BufferSize <= 0) return 0;
  ssize_t n;
  do {
    n = ::recv(fd_, Buffer, static_cast<size_t>(BufferSize), MSG_DONTWAIT);
  } while (n < 0 && errno == EINTR);
  if (n >= 0) {
    readCount_ += n;
    return static_cast<int>(n);
  }
  lastError_ = SystemError();
  if (lastError_ != kSockWouldBlock) recvError_ = lastError_;
  return -1;
}

std::string TAsyncSocket::ReceiveStr() {
  std::string out;
  char buf[16384];
  int n;
  while ((n = Receive(buf, sizeof buf)) > 0)
    out.append(buf, static_cast<size_t>(n));
  return out;
}

int TAsyncSocket::RcvdCount() const {
  int waiting = 0;
  if (!IsOpen() || ioctl(fd_, FIONREAD, &waiting) != 0) return 0;
  return waiting;
}

namespace {

std::string NameOf(int fd, bool peer, bool wantPort) {
  sockaddr_in a{};
  socklen_t len = sizeof a;
  const int rc = peer ? getpeername(fd, reinterpret_cast<sockaddr*>(&a), &len)
                      : getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
  if (fd < 0 || rc != 0) return wantPort ? "0" : "";
  return wantPort ? std::to_string(ntohs(a.sin_port)) : DottedText(a.sin_addr.s_addr);
}

}  // namespace

std::string TAsyncSocket::GetPeerAddr() const {
  return NameOf(fd_, true, false);
}
std::string TAsyncSocket::GetPeerPort() const {
  return NameOf(fd_, true, true);
}
std::string TAsyncSocket::GetXAddr() const {
  return NameOf(fd_, false, false);
}
std::string TAsyncSocket::GetXPort() const {
  return NameOf(fd_, false, true);
}

// --- Closing -----------------------------------------------------------------------------------

void TAsyncSocket::Close() {
  InternalClose(true, 0);
}

void TAsyncSocket::CloseLater() {
  PostMsg(Msg(kSlotCloseLater), static_cast<uintptr_t>(connSerial_), 0);
}

void TAsyncSocket::Abort() {
  CancelDnsLookup();
  sendBuffer_.Clear();
  if (IsOpen() && state_ == wsConnected) {
    // Linger off: the system finishes the connection in the background.
    linger lg{};
    setsockopt(fd_, SOL_SOCKET, SO_LINGER, &lg, sizeof lg);
  }
  InternalClose(false, 0);
}

void TAsyncSocket::InternalClose(bool Shutdown, int ErrCode) {
  const TLifeGuard::TCheck alive = life_.Check();
  if (!IsOpen()) {
    if (state_ != wsClosed) {
      ChangeState(wsClosed);
      if (!alive) return;
      RestoreDefaults();
    }
    return;
  }
  const bool report = !destroying_ && !closeReported_;
  const int fd = fd_;
  // The descriptor leaves the epoll set before it is closed, and the serial moves on so every
  // notification still queued for it is ignored.
  dispatcher().unwatchFd(fd);
  fd_ = -1;
  ++connSerial_;
  notifyPosted_ = false;
  sendBuffer_.Clear();
  if (Shutdown) ::shutdown(fd, SHUT_WR);
  const int closeRc = ::close(fd);  // Linux releases the descriptor even when close fails
  const int closeErr = closeRc != 0 && errno != EINTR ? SystemError() : 0;
  if (closeErr != 0 && !destroying_) {
    SocketError("Disconnect (closesocket)", closeErr);
    if (!alive) return;
  }
  ChangeState(wsClosed);
  if (!alive) return;
  // Defaults come back before the event, so a handler that connects again keeps its settings.
  RestoreDefaults();
  if (report && OnSessionClosed) {
    FireEvent(OnSessionClosed, this, static_cast<uint16_t>(ErrCode));
  }
}

// --- Pause, messages, exceptions ---------------------------------------------------------------

void TAsyncSocket::Pause() {
  if (paused_) return;
  paused_ = true;
  // Out of the epoll set entirely: a hung-up descriptor would otherwise keep reporting.
  if (IsOpen()) dispatcher().unwatchFd(fd_);
}

void TAsyncSocket::Resume() {
  if (!paused_) return;
  paused_ = false;
  if (!IsOpen()) return;
  notifyPosted_ = false;
  WatchSocket();
  if (missedSentNotice_) {
    missedSentNotice_ = false;
    PostNotify(kFdWrite | kSynthetic);
  }
}

void TAsyncSocket::PostTestException() {
  PostMsg(Msg(kSlotTestException), 0, 0);
}

void TAsyncSocket::MessageHandler(uint32_t msg, uintptr_t wParam, intptr_t lParam) {
  if (msg == Msg(kSlotNotify)) {
    HandleNotify(static_cast<uint64_t>(wParam), static_cast<uint32_t>(lParam));
  } else if (msg == Msg(kSlotDnsReply)) {
    HandleDnsReplyMsg(static_cast<uint64_t>(wParam));
  } else if (msg == Msg(kSlotCloseLater)) {
    if (static_cast<uint64_t>(wParam) == connSerial_) Close();
  } else if (msg == Msg(kSlotTestException)) {
    throw ESocketException("Test exception in message loop");
  } else {
    TNetWndControl::MessageHandler(msg, wParam, lParam);
  }
}

void TAsyncSocket::BgExceptionReaction() {
  Abort();
}

}  // namespace qelo::net
