// TAsyncSocket: the event-driven TCP client connection. Every operation returns at once (with
// one exception, see Connect); its outcome arrives as an event delivered on the owning thread,
// from the dispatcher loop or (where stated) from inside the operation itself.
//
// Ordering and re-entrancy:
//  1. Every event runs on the component's thread, from the loop or inside one of its operations.
//  2. OnDnsLookupDone fires inside DnsLookup only for a dotted IPv4 address and for an empty
//     name (10022); every other lookup reports from the loop.
//  3. OnSessionConnected never fires inside Connect. After a failed attempt (ErrCode != 0) the
//     socket closes itself right after the event, firing OnSessionClosed with 0.
//  4. OnDataSent never fires inside Send; it follows from the loop once the buffer is empty.
//     Writable readiness is asked for only while bytes wait, so a connect alone brings none.
//  5. All bytes that arrived before the peer closed are offered through OnDataAvailable before
//     OnSessionClosed.
//  6. OnSessionClosed fires exactly once per connection (peer close, Close, Abort, send error).
//  7. Close and Abort may be called inside any event; CloseLater closes after the event returns.
//
// Errors: a failing step is reported as "<text of n> (#n in <step>)" (or a plain misuse text),
// LastError := n; then OnError fires when assigned (the operation ends or goes on as described
// per operation), otherwise ESocketException is thrown to the caller. 10054 and 10057 also close
// the socket at once (OnSessionClosed with n when it was open).
//
// A failure inside Connect (refusals, resolution, socket creation, options, an immediate hard
// connect error) is reported that way; a socket already created is released quietly: the state
// goes back to wsClosed and the properties to their defaults, and no OnSessionConnected or
// OnSessionClosed follows. A refused / unreachable / timed-out attempt is not such a failure: it
// always arrives as OnSessionConnected with the error, from the loop.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "net/dispatcher.h"
#include "net/life_guard.h"
#include "net/net_buffer.h"
#include "net/net_wnd_control.h"
#include "net/socket_errors.h"

namespace qelo::net {

class TDnsLookup;

enum TSocketState {
  wsInvalidState,
  wsOpened,
  wsBound,
  wsConnecting,
  wsSocksConnected,
  wsConnected,
  wsAccepting,
  wsListening,
  wsClosed,
};

enum TSocketLingerOnOff { wsLingerOff, wsLingerOn, wsLingerNoSet };

// ComponentOptions is a set of these bits.
enum TSocketOption : uint32_t {
  wsoNoReceiveLoop = 1u << 0,
  wsoTcpNoDelay = 1u << 1,
  wsoSIO_RCVALL = 1u << 2,  // accepted and ignored (raw sockets are not supported)
};
using TSocketOptions = uint32_t;

// Text of a state (for traces and test messages).
const char* SocketStateName(TSocketState State);

class TAsyncSocket : public TNetWndControl {
 public:
  using TSessionEvent = std::function<void(TAsyncSocket* Sender, uint16_t ErrCode)>;
  using TChangeStateEvent =
      std::function<void(TAsyncSocket* Sender, TSocketState OldState, TSocketState NewState)>;
  using TSendDataEvent = std::function<void(TAsyncSocket* Sender, int BytesSent)>;
  using TSocketNotifyEvent = std::function<void(TAsyncSocket* Sender)>;

  // Message slots of a connection: the base's release slot plus six of its own. A derived
  // component asks for extraSlots more and addresses them as Msg(kSocketSlotCount + i).
  static constexpr int kSocketSlotCount = 7;

  explicit TAsyncSocket(int extraSlots = 0);
  // Cancels any lookup and closes any socket; never fires OnSessionClosed.
  ~TAsyncSocket() override;

  // --- Operations --------------------------------------------------------------------------------
  // Starts a name lookup; the result comes as OnDnsLookupDone (see guarantee 2). A lookup still
  // pending is cancelled without an event first.
  void DnsLookup(const std::string& HostName);
  // Cancels a pending lookup: OnDnsLookupDone fires with 10004 inside the call; the late reply
  // is ignored. Nothing happens when no lookup is pending.
  void CancelDnsLookup();
  // Starts a TCP connection to Addr:Port; the result comes as OnSessionConnected. Addr should
  // be dotted IPv4 text: a host name there is resolved inside the call with the system's
  // resolver, which blocks the thread until it answers (seconds with an unreachable server).
  // Callers look the name up with DnsLookup first and connect to DnsResult, as THttpClient does.
  void Connect();
  // Queues Len bytes and starts sending. Returns Len, or -1 when not connected (LastError
  // 10057, error "Send"). Len 0 just starts sending what AppendToSendBuffer queued.
  int Send(const void* Data, int Len);
  int Send(std::string_view Data) { return Send(Data.data(), static_cast<int>(Data.size())); }
  // Queues bytes without trying to send; returns Len.
  int AppendToSendBuffer(const void* Data, int Len);
  // Reads up to BufferSize bytes straight into Buffer. Returns their number, 0 when the peer
  // has closed, or -1 with LastError set (10035 when nothing is waiting).
  int Receive(void* Buffer, int BufferSize);
  // Everything readable now, as a byte string (empty when nothing waits).
  std::string ReceiveStr();
  // Closes at once (shutdown of the sending direction, then close; with the default linger of
  // 0 s the peer sees a reset and bytes the system has not sent yet are dropped). Fires
  // OnSessionClosed(0) inside the call unless this connection's close was already reported.
  void Close();
  // Posts a close that runs after the current event has returned.
  void CloseLater();
  // Cancels a pending lookup, drops unsent data and closes without the shutdown.
  void Abort();
  // Stop and restart the delivery of readiness notifications.
  void Pause();
  void Resume();
  // Posts a message whose handling throws, to exercise the background-exception step.
  void PostTestException();

  // --- Read-only properties ----------------------------------------------------------------------
  TSocketState State() const { return state_; }
  int LastError() const { return lastError_; }
  // The last reported error text (composed form), empty when none was reported yet.
  const std::string& LastErrorText() const { return lastErrorText_; }
  // First address of the last lookup in dotted form, and all of them in order.
  const std::string& DnsResult() const { return dnsResult_; }
  const std::vector<std::string>& DnsResultList() const { return dnsResultList_; }
  bool DnsLookupPending() const { return dnsPending_ != 0; }
  int HSocket() const { return fd_; }  // -1 when none
  bool Paused() const { return paused_; }
  bool AllSent() const { return allSent_; }
  int64_t ReadCount() const { return readCount_; }
  int64_t WriteCount() const { return writeCount_; }
  int64_t BufferedByteCount() const { return sendBuffer_.Size(); }
  // Bytes waiting to be read now (0 without a socket or on error).
  int RcvdCount() const;
  // System buffer sizes read when the socket was created (0 before).
  int SocketSndBufSize() const { return sndBufSize_; }
  int SocketRcvBufSize() const { return rcvBufSize_; }
  // Addresses of the open connection ("" / "0" without one).
  std::string GetPeerAddr() const;
  std::string GetPeerPort() const;
  std::string GetXAddr() const;
  std::string GetXPort() const;
  // The send buffer (for inspection; its chunk list shows what is still queued).
  const TNetBufferHandler& SendBuffer() const { return sendBuffer_; }

  // --- Properties --------------------------------------------------------------------------------
  // Addr, Port, Proto, LocalAddr and LocalPort change only while wsClosed; otherwise the change
  // is refused with "Cannot change X if not closed" (through the error path) and the value
  // stays. Addr, Port and Proto are trimmed. Every close restores the defaults and unsets Addr
  // and Port.
  const std::string& Addr() const { return addr_; }
  void SetAddr(std::string_view Value);
  const std::string& Port() const { return port_; }
  void SetPort(std::string_view Value);
  const std::string& Proto() const { return proto_; }
  void SetProto(std::string_view Value);
  const std::string& LocalAddr() const { return localAddr_; }
  void SetLocalAddr(std::string_view Value);
  const std::string& LocalPort() const { return localPort_; }
  void SetLocalPort(std::string_view Value);
  TSocketLingerOnOff LingerOnOff() const { return lingerOnOff_; }
  void SetLingerOnOff(TSocketLingerOnOff Value) { lingerOnOff_ = Value; }
  int LingerTimeout() const { return lingerTimeout_; }
  void SetLingerTimeout(int Value) { lingerTimeout_ = Value; }
  TSocketOptions ComponentOptions() const { return options_; }
  void SetComponentOptions(TSocketOptions Value) { options_ = Value; }
  bool MultiThreaded() const { return multiThreaded_; }
  void SetMultiThreaded(bool Value) { multiThreaded_ = Value; }
  int FlushTimeout() const { return flushTimeout_; }
  void SetFlushTimeout(int Value) { flushTimeout_ = Value; }
  // Name servers that DnsLookup asks instead of the system's, as "ip:port,..." (tests point
  // it at a loopback responder); empty, the default: the system's. A change cancels a pending
  // lookup without an event and applies from the next one.
  const std::string& DnsServers() const { return dnsServers_; }
  void SetDnsServers(std::string_view Value);
  // Chunk size of the send buffer (1460 by default).
  int BufSize() const { return sendBuffer_.BufSize(); }
  void SetBufSize(int Value);

  // --- Events (OnBgException is inherited; its default reaction is Abort) --------------------
  TSessionEvent OnDnsLookupDone;
  TSessionEvent OnSessionConnected;
  TSessionEvent OnDataAvailable;
  TSessionEvent OnDataSent;
  TSessionEvent OnSessionClosed;
  TSocketNotifyEvent OnError;
  TChangeStateEvent OnChangeState;
  TSendDataEvent OnSendData;

 protected:
  void MessageHandler(uint32_t msg, uintptr_t wParam, intptr_t lParam) override;
  void BgExceptionReaction() override;

  // Slot indexes of the connection's own messages (Msg(index)).
  enum SocketSlot : int {
    kSlotNotify = 1,      // readiness: wParam = connection serial, lParam = FdEvent bits
    kSlotDnsReply = 2,    // lookup reply: wParam = lookup serial
    kSlotReverseDns = 3,  // reserved (reverse lookups are not supported)
    kSlotCloseLater = 4,
    kSlotTestException = 5,
    kSlotLineMode = 6,  // reserved (line mode is not supported)
  };

 private:
  struct DnsReply {
    uint64_t serial = 0;
    int errCode = 0;
    std::vector<std::string> addrs;
  };

  // Error reporting.
  void SocketError(const std::string& Step, int ErrCode);
  void RaiseException(const std::string& Msg, int ErrCode = 0);
  void ReportError(const std::string& Text);

  // Lookup.
  void StartAsyncLookup(const std::string& HostName);
  void OnDnsReply(uint64_t Serial, int ErrCode, std::vector<std::string> Addrs);
  void HandleDnsReplyMsg(uint64_t Serial);
  void DropPendingLookup();
  uint64_t dnsQueryId_ = 0;

  // Connecting.
  bool PrepareConnect(uint32_t& RemoteIp, uint16_t& RemotePort, uint32_t& LocalIp,
                      uint16_t& LocalPortNum);
  bool OpenSocket(uint32_t RemoteIp, uint16_t RemotePort, uint32_t LocalIp, uint16_t LocalPortNum);
  // The steps of OpenSocket; each reports its own failure and answers false after it.
  // A new non-blocking descriptor, with the per-connection state reset for it.
  bool CreateSocket();
  bool ReadBufferSizes();
  // SO_REUSEADDR, and TCP_NODELAY and SO_LINGER as the options ask.
  bool ApplySocketOptions();
  // Binds only when a local address or port was asked for.
  bool BindLocal(uint32_t LocalIp, uint16_t LocalPortNum);
  bool StartWatching();
  // An attempt refused or unreachable at once still counts as started: it ends from the loop.
  bool StartConnect(uint32_t RemoteIp, uint16_t RemotePort);
  void ReleaseSocketQuietly();

  // Notifications.
  void WatchSocket();
  void ArmNotifications();
  uint32_t WantedInterest() const;
  void PostNotify(uint32_t Events);
  void HandleNotify(uint64_t Serial, uint32_t Events);
  void DoConnectDone(int ErrCode);
  void DoReadable();
  void DoWritable(int ErrCode);
  void DoClosed(int ErrCode);
  void ReceiveLoop(bool Forced);
  bool PeekClosed(int& ErrCode);
  int CloseError();
  bool SameConnection(uint64_t Serial) const { return IsOpen() && Serial == connSerial_; }

  // Sending.
  bool TryToSend();

  // Closing.
  void InternalClose(bool Shutdown, int ErrCode);
  void RestoreDefaults();
  void ChangeState(TSocketState NewState);
  bool IsOpen() const { return fd_ >= 0; }

  // Properties.
  bool CanChange(const char* Name);

  TSocketState state_ = wsClosed;
  int lastError_ = 0;
  std::string lastErrorText_;

  std::string addr_;
  std::string port_;
  std::string proto_ = "tcp";
  std::string localAddr_ = "0.0.0.0";
  std::string localPort_ = "0";
  TSocketLingerOnOff lingerOnOff_ = wsLingerOn;
  int lingerTimeout_ = 0;
  TSocketOptions options_ = 0;
  bool multiThreaded_ = false;
  int flushTimeout_ = 60;

  int fd_ = -1;
  uint64_t connSerial_ = 0;    // changes with every socket, so stale notifications are dropped
  bool notifyPosted_ = false;  // a readiness message is queued and not yet handled
  bool paused_ = false;
  bool missedSentNotice_ = false;  // a data-sent notice was dropped while paused
  bool closeReported_ = false;
  bool allSent_ = true;
  bool sending_ = false;  // TryToSend is running (a nested call only queues)
  bool destroying_ = false;
  bool addrAssigned_ = false;
  bool portAssigned_ = false;
  bool protoAssigned_ = true;
  int connectError_ = 0;  // an attempt that failed inside connect(), reported from the loop
  int recvError_ = 0;     // hard error met by a read; the close notice reports it
  int64_t readCount_ = 0;
  int64_t writeCount_ = 0;
  int sndBufSize_ = 0;
  int rcvBufSize_ = 0;
  TNetBufferHandler sendBuffer_;

  std::string dnsServers_;
  std::unique_ptr<TDnsLookup> dns_;
  uint64_t dnsPending_ = 0;  // serial of the pending lookup, 0 when none
  uint64_t nextDnsSerial_ = 1;
  std::vector<DnsReply> dnsReplies_;  // replies waiting for their message
  std::string dnsResult_;
  std::vector<std::string> dnsResultList_;

  // Tells an event's caller whether a handler destroyed this object.
  TLifeGuard life_;
};

}  // namespace qelo::net
