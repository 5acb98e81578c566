// THttpClient: the asynchronous HTTP/1.0 and 1.1 client. One request at a time over one
// TAsyncSocket, entirely on the thread that created it; every request ends with exactly one
// OnRequestDone delivered from the message loop.
//
// Not built: proxying, authentication, SOCKS, content coding, bandwidth control, the
// synchronous request and the logger. Their properties keep their creation values and have no
// effect.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "net/async_socket.h"
#include "net/http_response.h"
#include "net/life_guard.h"
#include "net/net_wnd_control.h"
#include "net/stream.h"

namespace qelo::net {

// Misuse of the client: 1 busy, 2 nothing to post or put, 5 unsupported HTTP version.
class EHttpException : public std::runtime_error {
 public:
  EHttpException(const std::string& Msg, int ErrorCode)
      : std::runtime_error(Msg), errorCode_(ErrorCode) {}
  int ErrorCode() const { return errorCode_; }

 private:
  int errorCode_;
};

enum THttpRequest { httpABORT, httpGET, httpPOST, httpPUT, httpHEAD, httpCLOSE };
enum THttpAuthType { httpAuthNone, httpAuthBasic, httpAuthNtlm, httpAuthDigest };
enum THttpCliententOption {
  httpoNoBasicAuth,
  httpoNoNTLMAuth,
  httpoBandwidthControl,
  httpoEnableContentCoding,
  httpoUseQuality,
  httpoNoDigestAuth,
};
enum TSocksAuthentication { socksNoAuthentication, socksAuthenticateUsercode };
enum THttpState {
  httpReady,
  httpNotConnected,
  httpConnected,
  httpDnsLookup,
  httpDnsLookupDone,
  httpWaitingHeader,
  httpWaitingBody,
  httpBodyReceived,
  httpWaitingProxyConnect,
  httpClosing,
  httpAborting,
};

const char* HttpStateName(THttpState State);

class THttpClient : public TNetWndControl {
 public:
  using TNotifyEvent = std::function<void(THttpClient* Sender)>;
  using TDataEvent = std::function<void(THttpClient* Sender, const char* Buffer, int64_t Len)>;
  using TBeforeHeaderSendEvent = std::function<void(THttpClient* Sender, const std::string& Method,
                                                    std::vector<std::string>& Headers)>;
  using TCommandEvent = std::function<void(THttpClient* Sender, std::string& S)>;
  using TCookieEvent =
      std::function<void(THttpClient* Sender, const std::string& Data, bool& Accept)>;
  using TLocationChangeExceededEvent =
      std::function<void(THttpClient* Sender, int RelocationCount, bool& AllowMoreRelocations)>;
  using TRequestDoneEvent =
      std::function<void(THttpClient* Sender, THttpRequest RqType, uint16_t ErrCode)>;

  // Error code of a request ended because the server broke the protocol: a header line or
  // header larger than the limits below, or an unreadable chunk size.
  static constexpr uint16_t kProtocolErrorCode = kSockMessageTooLong;
  // Error code of a request ended because storing or handling received data raised.
  static constexpr uint16_t kDataErrorCode = kSockConnectionAborted;
  static constexpr size_t kMaxHeaderLineLength = 64 * 1024;
  static constexpr size_t kMaxHeaderBytes = 256 * 1024;
  static constexpr size_t kMaxHeaderLines = 1000;
  // Size of a request body block, and the free room asked for before each socket read.
  static constexpr int kSendBlockSize = 8192;
  static constexpr size_t kReceiveRoom = 256 * 1024;

  THttpClient();
  ~THttpClient() override;

  // --- Operations ------------------------------------------------------------------------------
  // Start a request and return at once; raise EHttpException (codes 1, 2) and change nothing
  // when the client is busy or a POST/PUT has no SendStream.
  void GetASync();
  void PostASync();
  void PutASync();
  void HeadASync();
  // Cancels the request in progress (OnRequestDone follows with ErrCode 3), or, when idle,
  // reports the client as done at once with ErrCode 0.
  void Abort();
  // Thread moves take the connection along: its slots are given back and taken with the
  // client's.
  void ThreadDetach() override;
  void ThreadAttach() override;

  // --- Published properties (creation values) --------------------------------------------------
  std::string URL;
  std::string LocalAddr = "0.0.0.0";
  std::string Proxy;
  std::string ProxyPort = "80";
  std::string Sender;
  std::string Agent = "Mozilla/4.0 (compatible; QeloNet)";
  std::string Accept = "image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, */*";
  std::string AcceptLanguage;
  std::string Reference;
  std::string Connection;
  std::string ProxyConnection;
  std::string Username;
  std::string Password;
  std::string ProxyUsername;
  std::string ProxyPassword;
  bool NoCache = false;
  int64_t ModifiedSince = 0;  // seconds since the epoch; 0 sends no If-Modified-Since
  std::string Cookie;
  std::string ContentTypePost = "application/x-www-form-urlencoded";
  std::string ContentRangeBegin;
  std::string ContentRangeEnd;
  bool MultiThreaded = false;
  bool FollowRelocation = true;
  int LocationChangeMaxCount = 5;
  THttpAuthType ServerAuth = httpAuthNone;
  THttpAuthType ProxyAuth = httpAuthNone;
  int BandwidthLimit = 10000;
  int BandwidthSampling = 1000;
  uint32_t Options = 0;  // bits 1 << THttpCliententOption
  uint32_t Timeout = 30;
  // Seconds without a byte moving (sent or received, once the name is resolved) after which a
  // request under way ends as a timed-out connection: the connection is dropped and the close
  // handling ends the request with ErrCode 10060. 0 (the creation value) never times out.
  // Read when a request starts.
  uint32_t IdleTimeout = 0;
  std::string SocksServer;
  std::string SocksLevel;
  std::string SocksPort;
  std::string SocksUsercode;
  std::string SocksPassword;
  TSocksAuthentication SocksAuthentication = socksNoAuthentication;

  const std::string& RequestVer() const { return requestVer_; }
  // Accepts "1.0" and "1.1"; anything else raises EHttpException code 5.
  void SetRequestVer(const std::string& Value);

  // --- Run-time properties ---------------------------------------------------------------------
  TStream* SendStream = nullptr;  // caller-owned
  TStream* RcvdStream = nullptr;  // caller-owned, may be null

  int StatusCode() const { return statusCode_; }
  const std::string& ReasonPhrase() const { return reasonPhrase_; }
  THttpRequest RequestType() const { return requestType_; }
  THttpState State() const { return state_; }
  const std::string& DocName() const { return docName_; }
  int64_t ContentLength() const { return contentLength_; }
  int64_t RcvdCount() const { return rcvdCount_; }
  int64_t SentCount() const { return sentCount_; }
  const std::string& Location() const { return location_; }
  const std::vector<std::string>& RcvdHeader() const { return rcvdHeader_; }
  const std::string& ResponseVer() const { return responseVer_; }
  const std::string& ContentType() const { return contentType_; }
  const std::string& TransferEncoding() const { return transferCoding_; }
  const std::string& ContentEncoding() const { return contentCoding_; }
  const std::string& AcceptRanges() const { return acceptRanges_; }
  int LocationChangeCurCount() const { return locationChangeCurCount_; }
  // Whether the last response ended as its framing says: its Content-Length reached, its last
  // chunk read, no body due, or a body without length ended by an orderly close. A reply cut
  // short still ends with ErrCode 0; callers that need the whole body look here. Cleared when a
  // request (or a relocation's next request) starts.
  bool BodyComplete() const { return bodyComplete_; }
  // The connection (for inspection: state, counters).
  const TAsyncSocket& CtrlSocket() const { return socket_; }

  // --- Events ----------------------------------------------------------------------------------
  TNotifyEvent OnStateChange;
  TNotifyEvent OnSessionConnected;
  TNotifyEvent OnSessionClosed;
  TNotifyEvent OnRequestHeaderBegin;
  TBeforeHeaderSendEvent OnBeforeHeaderSend;
  TCommandEvent OnCommand;
  TNotifyEvent OnRequestHeaderEnd;
  TNotifyEvent OnSendBegin;
  TDataEvent OnSendData;
  TNotifyEvent OnSendEnd;
  TNotifyEvent OnHeaderBegin;
  TNotifyEvent OnHeaderData;
  TNotifyEvent OnHeaderEnd;
  TNotifyEvent OnDocBegin;
  TDataEvent OnDocData;
  TNotifyEvent OnDocEnd;
  TCookieEvent OnCookie;
  TNotifyEvent OnLocationChange;
  TLocationChangeExceededEvent OnLocationChangeExceeded;
  TNotifyEvent OnDataPush2;
  TRequestDoneEvent OnRequestDone;
  TNotifyEvent OnSocketError;

 protected:
  void MessageHandler(uint32_t msg, uintptr_t wParam, intptr_t lParam) override;

 private:
  enum Slot : int { kSlotRequestDone = 1, kSlotSetReady = 2, kSlotLogin = 3 };
  enum class LineHandler { None, Header, Body };
  // Where the socket's connection-closed event goes.
  enum class CloseRoute { Normal, Relocation, Ignore };

  // Starting and connecting.
  void StartRequest(THttpRequest Type);
  void ResetResponseData();
  void Login();
  void SocketDnsLookupDone(uint16_t ErrCode);
  void SocketSessionConnected(uint16_t ErrCode);
  void ConnectionEstablished();
  void StartConnect();
  void SendRequestHeader();
  void StartBody();
  void SendStep();

  // Reception.
  void SocketDataAvailable();
  void ProcessBuffer(const TLifeGuard::TCheck& Run);
  void HeaderStep(const std::string& Line, size_t RawLength, const TLifeGuard::TCheck& Run);
  void HeaderField(const THeaderField& Field);
  void HeaderEnd(const TLifeGuard::TCheck& Run);
  void BodyFromBuffer(const TLifeGuard::TCheck& Run);
  void BodyStep(const char* Data, size_t Len, const TLifeGuard::TCheck& Run);
  bool DeliverBody(const char* Data, size_t Len, const TLifeGuard::TCheck& Run);
  void EndOfBody(const TLifeGuard::TCheck& Run);
  void ResponseComplete();
  void ProtocolError(uint16_t ErrCode);

  // Closing and relocation.
  void SocketSessionClosed(uint16_t ErrCode);
  void CloseHandling(uint16_t ErrCode);
  void StartRelocation();
  void RelocationAfterClose();
  bool RelocationAllowed();
  void CutBackRcvdStream();
  void MoveBackSendStream();
  void CloseSocketQuietly(bool UseAbort);

  // Idle timeout (http_client_idle.cpp).
  struct ActivityMark {
    int64_t Read = 0;
    int64_t Written = 0;
    int Socket = -1;
    int SocketState = 0;
    THttpState State = httpReady;
    int Relocations = 0;
    bool operator==(const ActivityMark&) const = default;
  };
  ActivityMark CurrentActivity() const;
  void ArmIdleCheck();
  void StopIdleCheck();
  void ScheduleIdleCheck();
  void IdleCheck();
  void IdleTimedOut();

  // Ending.
  void SetState(THttpState NewState);
  void SetReady();
  void SetReadyUnlessDelayed();
  void EnterReady();
  // Ends the request after an exception escaped while handling a socket event.
  void FailRequest();
  template <typename F>
  void Guarded(F&& Body);
  void Fire(const TNotifyEvent& Event) { FireEvent(Event, this); }

  TAsyncSocket socket_;
  std::string requestVer_ = "1.0";

  // Response data.
  int statusCode_ = 0;
  std::string reasonPhrase_;
  std::string responseVer_;
  std::vector<std::string> rcvdHeader_;
  size_t headerBytes_ = 0;
  int64_t contentLength_ = -1;
  std::string contentType_;
  std::string transferCoding_;
  std::string contentCoding_;
  std::string acceptRanges_;
  std::string location_;
  int64_t rcvdCount_ = 0;
  int64_t sentCount_ = 0;
  bool bodyComplete_ = false;
  std::string docName_;
  int locationChangeCurCount_ = 0;

  // Request data.
  THttpRequest requestType_ = httpABORT;
  THttpState state_ = httpReady;
  uint16_t errCode_ = 0;
  std::string hostToResolve_;
  std::string port_;
  std::string proto_;
  std::string targetHost_;
  std::string targetPort_;
  std::string path_;
  std::string connHost_;
  std::string connPort_;
  std::string connProto_;
  bool connected_ = false;
  bool closeReq_ = true;
  bool relocation_ = false;
  bool relocationCounted_ = false;
  // A relocation on the kept connection posted its login and waits for it; a close meanwhile
  // leaves the relocation to that login, which connects afresh.
  bool loginPending_ = false;
  bool allowedToSend_ = false;
  bool delaySetReady_ = false;
  bool inHeader_ = false;
  int headerLineCount_ = 0;
  int bodyLineCount_ = 0;
  LineHandler lineHandler_ = LineHandler::None;
  CloseRoute closeRoute_ = CloseRoute::Normal;
  std::string effUsername_;
  std::string effPassword_;
  std::string effConnection_;
  std::string effProxyConnection_;

  // Reception machinery.
  TRcvBuffer rcv_;
  TChunkDecoder chunk_;
  int64_t rcvdStreamStartSize_ = -1;  // -1: no body began for this response
  std::array<char, kSendBlockSize> sendBlock_{};

  // Starts over whenever the running processing must stop: a request starts, is aborted, or
  // its connection closes. Steps take a check of it and ask it after every event they fire;
  // it also turns false when a handler destroys the client.
  TLifeGuard life_;
  uint64_t requestSerial_ = 0;

  // Idle timeout: the pending check, the last activity seen and since when it stands still.
  Dispatcher::TimerId idleTimer_ = 0;
  uint32_t idleTimeoutSec_ = 0;
  ActivityMark idleMark_;
  Clock::time_point idleSince_{};
};

}  // namespace qelo::net
