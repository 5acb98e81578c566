// THttpClient, sending half: starting, connecting, the request text and body, the end of a
// request and Abort.
#include "net/http_client.h"

#include <algorithm>
#include <string>

#include "net/http_request.h"
#include "net/http_url.h"

namespace qelo::net {

namespace {

const char* MethodName(THttpRequest Type) {
  switch (Type) {
    case httpPOST:
      return "POST";
    case httpPUT:
      return "PUT";
    case httpHEAD:
      return "HEAD";
    default:
      return "GET";
  }
}

bool HasBody(THttpRequest Type) {
  return Type == httpPOST || Type == httpPUT;
}

}  // namespace

const char* HttpStateName(THttpState State) {
  static constexpr const char* kNames[] = {
      "httpReady",       "httpNotConnected",  "httpConnected",
      "httpDnsLookup",   "httpDnsLookupDone", "httpWaitingHeader",
      "httpWaitingBody", "httpBodyReceived",  "httpWaitingProxyConnect",
      "httpClosing",     "httpAborting",
  };
  const auto i = static_cast<size_t>(State);
  return i < std::size(kNames) ? kNames[i] : "?";
}

// --- Life -------------------------------------------------------------------------------------

THttpClient::THttpClient() : TNetWndControl(4) {
  socket_.OnDnsLookupDone = [this](TAsyncSocket*, uint16_t e) {
    Guarded([&] { SocketDnsLookupDone(e); });
  };
  socket_.OnSessionConnected = [this](TAsyncSocket*, uint16_t e) {
    Guarded([&] { SocketSessionConnected(e); });
  };
  socket_.OnDataAvailable = [this](TAsyncSocket*, uint16_t) {
    Guarded([&] { SocketDataAvailable(); });
  };
  socket_.OnDataSent = [this](TAsyncSocket*, uint16_t) { Guarded([&] { SendStep(); }); };
  socket_.OnSessionClosed = [this](TAsyncSocket*, uint16_t e) {
    Guarded([&] { SocketSessionClosed(e); });
  };
  socket_.OnError = [this](TAsyncSocket*) { Fire(OnSocketError); };
}

THttpClient::~THttpClient() {
  StopIdleCheck();
  // The socket's events must not reach a half-destroyed client.
  socket_.OnDnsLookupDone = nullptr;
  socket_.OnSessionConnected = nullptr;
  socket_.OnDataAvailable = nullptr;
  socket_.OnDataSent = nullptr;
  socket_.OnSessionClosed = nullptr;
  socket_.OnError = nullptr;
}

void THttpClient::ThreadDetach() {
  StopIdleCheck();
  TNetWndControl::ThreadDetach();
  socket_.ThreadDetach();
}

void THttpClient::ThreadAttach() {
  TNetWndControl::ThreadAttach();
  socket_.ThreadAttach();
  if (state_ != httpReady) ArmIdleCheck();
}

void THttpClient::SetRequestVer(const std::string& Value) {
  if (Value != "1.0" && Value != "1.1") throw EHttpException("Insupported HTTP version", 5);
  requestVer_ = Value;
}

template <typename F>
void THttpClient::Guarded(F&& Body) {
  try {
    Body();
  } catch (...) {
    FailRequest();
  }
}

// --- Starting a request -----------------------------------------------------------------------

void THttpClient::GetASync() {
  if (state_ == httpReady) locationChangeCurCount_ = 0;
  StartRequest(httpGET);
}

void THttpClient::PostASync() {
  if (state_ == httpReady) locationChangeCurCount_ = 0;
  StartRequest(httpPOST);
}

void THttpClient::PutASync() {
  if (state_ == httpReady) locationChangeCurCount_ = 0;
  StartRequest(httpPUT);
}

void THttpClient::HeadASync() {
  if (state_ == httpReady) locationChangeCurCount_ = 0;
  StartRequest(httpHEAD);
}

void THttpClient::ResetResponseData() {
  rcvdHeader_.clear();
  headerBytes_ = 0;
  errCode_ = 0;
  statusCode_ = 0;
  reasonPhrase_.clear();
  responseVer_.clear();
  rcvdCount_ = 0;
  sentCount_ = 0;
  bodyComplete_ = false;
  headerLineCount_ = 0;
  bodyLineCount_ = 0;
  contentLength_ = -1;
  contentType_.clear();
  transferCoding_.clear();
  contentCoding_.clear();
  allowedToSend_ = false;
  delaySetReady_ = false;
  closeReq_ = requestVer_ == "1.0";
  inHeader_ = false;
  rcvdStreamStartSize_ = -1;
  chunk_.Reset();
  rcv_.Clear();
}

void THttpClient::StartRequest(THttpRequest Type) {
  if (state_ != httpReady) throw EHttpException("HTTP component " + Name + " is busy", 1);
  if (HasBody(Type) && SendStream == nullptr)
    throw EHttpException("HTTP component has nothing to post or put", 2);

  life_.StartOver();
  ++requestSerial_;
  ArmIdleCheck();
  requestType_ = Type;
  ResetResponseData();
  docName_.clear();
  location_ = URL;
  relocation_ = false;
  relocationCounted_ = false;
  loginPending_ = false;
  lineHandler_ = LineHandler::None;
  effUsername_ = Username;
  effPassword_ = Password;
  effConnection_ = Connection;
  effProxyConnection_ = ProxyConnection;

  const TUrlParts parts = ParseURL(URL);
  targetHost_ = parts.Host;
  path_ = parts.Path;
  proto_ = parts.Proto;
  if (!parts.User.empty()) effUsername_ = parts.User;
  if (!parts.Pass.empty()) effPassword_ = parts.Pass;
  targetPort_ = parts.Port.empty() ? "80" : parts.Port;
  if (proto_.empty()) proto_ = "http";
  if (path_.empty()) path_ = "/";
  docName_ = DocNameOf(path_);
  hostToResolve_ = targetHost_;
  port_ = targetPort_;

  const bool reuse = connected_ && socket_.State() == wsConnected && hostToResolve_ == connHost_ &&
                     port_ == connPort_ && proto_ == connProto_;
  if (!reuse && socket_.State() != wsClosed) {
    // The kept connection is aborted; its close is reported like any other (OnSessionClosed).
    const uint64_t serial = requestSerial_;
    closeRoute_ = CloseRoute::Normal;
    socket_.Abort();
    if (serial != requestSerial_) return;  // a handler of that event started another request
  }
  const TLifeGuard::TCheck still = life_.Check();
  SetState(httpNotConnected);
  if (!still) return;
  if (reuse) {
    ConnectionEstablished();
  } else {
    Login();
  }
}

void THttpClient::Login() {
  closeRoute_ = CloseRoute::Normal;
  if (connected_ && socket_.State() == wsConnected) {
    ConnectionEstablished();
    return;
  }
  connected_ = false;
  const TLifeGuard::TCheck still = life_.Check();
  SetState(httpDnsLookup);
  if (!still) return;
  try {
    socket_.SetLocalAddr(LocalAddr);
    socket_.DnsLookup(hostToResolve_);
  } catch (const std::exception& e) {
    if (!still) return;
    statusCode_ = 404;
    reasonPhrase_ = e.what();
    connected_ = false;
    EnterReady();
  }
}

void THttpClient::SocketDnsLookupDone(uint16_t ErrCode) {
  if (state_ != httpDnsLookup) return;  // an abort is under way, or a stale report
  if (ErrCode != 0) {
    errCode_ = ErrCode;
    statusCode_ = 404;
    reasonPhrase_ = "can't resolve hostname to IP address";
    CloseHandling(ErrCode);
    return;
  }
  const TLifeGuard::TCheck still = life_.Check();
  SetState(httpDnsLookupDone);
  if (!still) return;
  socket_.SetAddr(socket_.DnsResult());
  socket_.SetLocalAddr(LocalAddr);
  socket_.SetPort(port_);
  socket_.SetProto("tcp");
  connHost_ = hostToResolve_;
  connPort_ = port_;
  connProto_ = proto_;
  if (proto_ != "http") {
    const int last = socket_.LastError();
    errCode_ = static_cast<uint16_t>(last);
    statusCode_ = 501;
    reasonPhrase_ = "Protocol \"" + proto_ + "\" not implemented";
    CloseSocketQuietly(false);
    CloseHandling(static_cast<uint16_t>(last));
    return;
  }
  StartConnect();
}

void THttpClient::StartConnect() {
  socket_.Connect();
  if (socket_.State() != wsClosed) return;
  // The attempt failed inside Connect: no connection event follows.
  const int e = socket_.LastError() != 0 ? socket_.LastError() : kSockInvalidArgument;
  errCode_ = static_cast<uint16_t>(e);
  statusCode_ = 404;
  reasonPhrase_ = "can't connect: " + SocketErrorDesc(e) + " (Error #" + std::to_string(e) + ")";
  connected_ = false;
  CloseHandling(static_cast<uint16_t>(e));
}

void THttpClient::SocketSessionConnected(uint16_t ErrCode) {
  if (state_ != httpDnsLookupDone) return;
  if (ErrCode != 0) {
    // The socket closes itself next, and the close ends the request.
    errCode_ = ErrCode;
    statusCode_ = 404;
    reasonPhrase_ = SocketErrorDesc(ErrCode) + " (Error #" + std::to_string(ErrCode) + ")";
    Fire(OnSessionConnected);
    return;
  }
  ConnectionEstablished();
}

void THttpClient::ConnectionEstablished() {
  const TLifeGuard::TCheck still = life_.Check();
  relocation_ = false;
  relocationCounted_ = false;
  connected_ = true;
  SetState(httpConnected);
  if (!still) return;
  Fire(OnSessionConnected);
  if (!still) return;
  lineHandler_ = LineHandler::Header;
  SetState(httpWaitingHeader);
  if (!still) return;
  try {
    SendRequestHeader();
    if (still && HasBody(requestType_)) StartBody();
  } catch (...) {
    if (!still) return;
    // The request cannot be sent: the close ends it, reported as an aborted connection.
    if (errCode_ == 0) errCode_ = kDataErrorCode;
    closeRoute_ = CloseRoute::Normal;
    socket_.Close();
    if (connected_) CloseHandling(0);
  }
}

// --- Request text and body --------------------------------------------------------------------

void THttpClient::SendRequestHeader() {
  const TLifeGuard::TCheck still = life_.Check();
  Fire(OnRequestHeaderBegin);
  if (!still) return;

  THttpRequestHead head;
  head.Method = MethodName(requestType_);
  head.Path = path_;
  head.Version = requestVer_;
  head.Sender = Sender;
  head.Accept = Accept;
  head.Reference = Reference;
  head.Connection = effConnection_;
  head.AcceptLanguage = AcceptLanguage;
  head.ContentType = ContentTypePost;
  head.Agent = Agent;
  head.TargetHost = targetHost_;
  head.TargetPort = targetPort_;
  head.NoCache = NoCache;
  head.ProxyConnection = effProxyConnection_;
  // A stream positioned past its end has nothing left to send.
  if (HasBody(requestType_))
    head.ContentLength = std::max<int64_t>(0, SendStream->Size() - SendStream->Position());
  head.ModifiedSince = ModifiedSince;
  head.Cookie = Cookie;
  head.RangeBegin = ContentRangeBegin;
  head.RangeEnd = ContentRangeEnd;
  std::vector<std::string> lines = ComposeRequestHeader(head);
  // A range applies to one request only.
  ContentRangeBegin.clear();
  ContentRangeEnd.clear();
  acceptRanges_.clear();

  FireEvent(OnBeforeHeaderSend, this, head.Method, lines);
  if (!still) return;
  std::string block;
  for (std::string& line : lines) {
    FireEvent(OnCommand, this, line);
    if (!still) return;
    block += line;
    block += "\r\n";
  }
  Fire(OnRequestHeaderEnd);
  if (!still) return;
  block += "\r\n";
  socket_.AppendToSendBuffer(block.data(), static_cast<int>(block.size()));
  socket_.Send(nullptr, 0);
}

void THttpClient::StartBody() {
  const TLifeGuard::TCheck still = life_.Check();
  Fire(OnSendBegin);
  if (!still) return;
  allowedToSend_ = true;
  delaySetReady_ = false;
  SendStep();
}

void THttpClient::SendStep() {
  if (!allowedToSend_ || SendStream == nullptr) return;
  const TLifeGuard::TCheck still = life_.Check();
  const int64_t n = SendStream->Read(sendBlock_.data(), kSendBlockSize);
  if (n > 0) {
    sentCount_ += n;
    FireEvent(OnSendData, this, sendBlock_.data(), n);
    if (!still) return;
    socket_.Send(sendBlock_.data(), static_cast<int>(n));
    return;
  }
  allowedToSend_ = false;
  Fire(OnSendEnd);
  if (!still) return;
  if (delaySetReady_) {
    delaySetReady_ = false;
    SetReady();
  }
}

// --- Ending -----------------------------------------------------------------------------------

void THttpClient::SetState(THttpState NewState) {
  state_ = NewState;
  Fire(OnStateChange);
}

void THttpClient::SetReady() {
  PostMsg(Msg(kSlotSetReady), requestSerial_, 0);
}

void THttpClient::SetReadyUnlessDelayed() {
  if (allowedToSend_ && (statusCode_ == 401 || statusCode_ == 407)) {
    delaySetReady_ = true;
    return;
  }
  SetReady();
}

void THttpClient::EnterReady() {
  loginPending_ = false;
  lineHandler_ = LineHandler::None;
  allowedToSend_ = false;
  SetState(httpReady);
  PostMsg(Msg(kSlotRequestDone), requestSerial_, 0);
}

void THttpClient::Abort() {
  if (state_ == httpReady) {
    SetState(httpAborting);
    if (socket_.State() != wsClosed) {
      // A kept connection: its close handling fires OnSessionClosed before OnRequestDone.
      closeRoute_ = CloseRoute::Normal;
      socket_.Abort();
    }
    statusCode_ = 200;
    reasonPhrase_ = "OK";
    errCode_ = 0;
    SetState(httpReady);
    FireEvent(OnRequestDone, this, requestType_, 0);
    return;
  }
  const THttpState was = state_;
  life_.StartOver();
  SetState(httpAborting);
  relocation_ = false;
  relocationCounted_ = false;
  allowedToSend_ = false;
  if (was == httpDnsLookup) {
    try {
      socket_.CancelDnsLookup();
    } catch (...) {
      // A failing cancel changes nothing: the report is ignored anyway.
    }
  }
  statusCode_ = 404;
  reasonPhrase_ = "Connection aborted on request";
  errCode_ = 3;
  closeRoute_ = CloseRoute::Normal;
  if (was == httpDnsLookup || socket_.State() == wsClosed) {
    CloseHandling(0);
  } else {
    socket_.Close();
    if (connected_) CloseHandling(0);
  }
  rcv_.Clear();
  EnterReady();
}

void THttpClient::FailRequest() {
  life_.StartOver();
  if (state_ == httpReady) return;
  if (errCode_ == 0) errCode_ = kDataErrorCode;
  relocation_ = false;
  relocationCounted_ = false;
  allowedToSend_ = false;
  rcv_.Clear();
  if (socket_.State() != wsClosed) CloseSocketQuietly(true);
  connected_ = false;
  EnterReady();
}

void THttpClient::MessageHandler(uint32_t msg, uintptr_t wParam, intptr_t lParam) {
  const bool current = wParam == requestSerial_;
  if (msg == Msg(kSlotSetReady)) {
    if (current && state_ != httpReady) EnterReady();
  } else if (msg == Msg(kSlotRequestDone)) {
    if (current) FireEvent(OnRequestDone, this, requestType_, errCode_);
  } else if (msg == Msg(kSlotLogin)) {
    if (current) loginPending_ = false;
    if (current && state_ != httpReady && state_ != httpAborting) Guarded([&] { Login(); });
  } else {
    TNetWndControl::MessageHandler(msg, wParam, lParam);
  }
}

}  // namespace qelo::net
