#include "net/http_client.h"

#include <algorithm>
#include <cstring>
#include <utility>

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

bool IsHtmlStart(const std::string& Line) {
  auto startsNoCase = [&](std::string_view prefix) {
    if (Line.size() < prefix.size()) return false;
    for (size_t i = 0; i < prefix.size(); ++i)
      if (std::toupper(static_cast<unsigned char>(Line[i])) != prefix[i]) return false;
    return true;
  };
  return !Line.empty() && Line[0] == '<' && (startsNoCase("<HTML>") || startsNoCase("<!DOCTYPE"));
}

// A response that announces no body: no length, not chunked, and a status that has none.
bool BodilessStatus(int Code) {
  return Code < 200 || Code == 204 || Code == 301 || Code == 302 || Code == 304 || Code == 401 ||
         Code == 407;
}

std::string CutFragment(std::string S) {
  const size_t hash = S.find('#');
  if (hash != std::string::npos) S.erase(hash);
  return S;
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
  // The socket's events must not reach a half-destroyed client.
  socket_.OnDnsLookupDone = nullptr;
  socket_.OnSessionConnected = nullptr;
  socket_.OnDataAvailable = nullptr;
  socket_.OnDataSent = nullptr;
  socket_.OnSessionClosed = nullptr;
  socket_.OnError = nullptr;
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

  ++gen_;
  ++requestSerial_;
  requestType_ = Type;
  ResetResponseData();
  docName_.clear();
  location_ = URL;
  relocation_ = false;
  relocationCounted_ = false;
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
  if (!reuse && socket_.State() != wsClosed) CloseSocketQuietly(true);
  const uint64_t gen = gen_;
  SetState(httpNotConnected);
  if (gen != gen_) return;
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
  const uint64_t gen = gen_;
  SetState(httpDnsLookup);
  if (gen != gen_) return;
  try {
    socket_.SetLocalAddr(LocalAddr);
    socket_.DnsLookup(hostToResolve_);
  } catch (const std::exception& e) {
    if (gen != gen_) return;
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
  const uint64_t gen = gen_;
  SetState(httpDnsLookupDone);
  if (gen != gen_) return;
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
  const uint64_t gen = gen_;
  relocation_ = false;
  relocationCounted_ = false;
  connected_ = true;
  SetState(httpConnected);
  if (gen != gen_) return;
  Fire(OnSessionConnected);
  if (gen != gen_) return;
  lineHandler_ = LineHandler::Header;
  SetState(httpWaitingHeader);
  if (gen != gen_) return;
  try {
    SendRequestHeader();
    if (gen == gen_ && HasBody(requestType_)) StartBody();
  } catch (...) {
    if (gen != gen_) return;
    // The request cannot be sent: the close ends it, reported as an aborted connection.
    if (errCode_ == 0) errCode_ = kDataErrorCode;
    closeRoute_ = CloseRoute::Normal;
    socket_.Close();
    if (connected_) CloseHandling(0);
  }
}

// --- Request text and body --------------------------------------------------------------------

void THttpClient::SendRequestHeader() {
  const uint64_t gen = gen_;
  Fire(OnRequestHeaderBegin);
  if (gen != gen_) return;

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
  if (HasBody(requestType_)) head.ContentLength = SendStream->Size() - SendStream->Position();
  head.ModifiedSince = ModifiedSince;
  head.Cookie = Cookie;
  head.RangeBegin = ContentRangeBegin;
  head.RangeEnd = ContentRangeEnd;
  std::vector<std::string> lines = ComposeRequestHeader(head);
  // A range applies to one request only.
  ContentRangeBegin.clear();
  ContentRangeEnd.clear();
  acceptRanges_.clear();

  if (OnBeforeHeaderSend) OnBeforeHeaderSend(this, head.Method, lines);
  if (gen != gen_) return;
  std::string block;
  for (std::string& line : lines) {
    if (OnCommand) OnCommand(this, line);
    if (gen != gen_) return;
    block += line;
    block += "\r\n";
  }
  Fire(OnRequestHeaderEnd);
  if (gen != gen_) return;
  block += "\r\n";
  socket_.AppendToSendBuffer(block.data(), static_cast<int>(block.size()));
  socket_.Send(nullptr, 0);
}

void THttpClient::StartBody() {
  const uint64_t gen = gen_;
  Fire(OnSendBegin);
  if (gen != gen_) return;
  allowedToSend_ = true;
  delaySetReady_ = false;
  SendStep();
}

void THttpClient::SendStep() {
  if (!allowedToSend_ || SendStream == nullptr) return;
  const uint64_t gen = gen_;
  const int64_t n = SendStream->Read(sendBlock_.data(), kSendBlockSize);
  if (n > 0) {
    sentCount_ += n;
    if (OnSendData) OnSendData(this, sendBlock_.data(), n);
    if (gen != gen_) return;
    socket_.Send(sendBlock_.data(), static_cast<int>(n));
    return;
  }
  allowedToSend_ = false;
  Fire(OnSendEnd);
  if (gen != gen_) return;
  if (delaySetReady_) {
    delaySetReady_ = false;
    SetReady();
  }
}

// --- Reception --------------------------------------------------------------------------------

void THttpClient::SocketDataAvailable() {
  char* room = rcv_.Reserve(kReceiveRoom);
  const int n = socket_.Receive(room, static_cast<int>(rcv_.FreeSpace()));
  if (n <= 0 || requestType_ == httpABORT) return;
  rcv_.Commit(static_cast<size_t>(n));
  ProcessBuffer(gen_);
}

void THttpClient::ProcessBuffer(uint64_t Gen) {
  while (Gen == gen_ && !rcv_.Empty()) {
    if (state_ == httpWaitingBody) {
      BodyFromBuffer(Gen);
      continue;
    }
    if (state_ != httpWaitingHeader || lineHandler_ != LineHandler::Header) {
      // Nothing is waiting for these bytes (a complete response on a kept connection).
      rcv_.Clear();
      return;
    }
    const char* data = rcv_.Data();
    const void* lf = std::memchr(data, '\n', rcv_.Count());
    if (lf == nullptr) {
      if (rcv_.Count() > kMaxHeaderLineLength) ProtocolError(kProtocolErrorCode);
      return;
    }
    const size_t rawLength = static_cast<size_t>(static_cast<const char*>(lf) - data) + 1;
    size_t lineLength = rawLength - 1;
    if (lineLength > 0 && data[lineLength - 1] == '\r') --lineLength;
    if (lineLength > kMaxHeaderLineLength) {
      ProtocolError(kProtocolErrorCode);
      return;
    }
    std::string line(data, lineLength);
    rcv_.Consume(rawLength);
    HeaderStep(line, rawLength, Gen);
  }
}

void THttpClient::HeaderStep(const std::string& Line, size_t RawLength, uint64_t Gen) {
  if (headerLineCount_ == 0) {
    inHeader_ = true;
    Fire(OnHeaderBegin);
    if (Gen != gen_) return;
  } else if (headerLineCount_ == -1) {
    headerLineCount_ = 0;
  }
  ++headerLineCount_;

  if (headerLineCount_ == 1 && IsHtmlStart(Line)) {
    // A reply without header: every byte from this line on is body.
    if (contentType_.empty()) contentType_ = "text/html";
    rcv_.Unconsume(RawLength);
    lineHandler_ = LineHandler::Body;
    SetState(httpWaitingBody);
    if (Gen != gen_) return;
    inHeader_ = false;
    Fire(OnHeaderEnd);
    return;
  }

  if (Line.empty()) {
    HeaderEnd(Gen);
    return;
  }

  headerBytes_ += Line.size();
  if (headerBytes_ > kMaxHeaderBytes || rcvdHeader_.size() >= kMaxHeaderLines) {
    ProtocolError(kProtocolErrorCode);
    return;
  }
  rcvdHeader_.push_back(Line);
  if (headerLineCount_ == 1) {
    const TStatusLine status = ParseStatusLine(Line);
    if (!status.IsStatus) {
      Fire(OnDataPush2);
      if (Gen != gen_) return;
    } else {
      responseVer_ = status.Version;
      closeReq_ = CloseAfterResponse(requestVer_, responseVer_);
      // A code that is not a number leaves the status unknown (0), without a phrase.
      statusCode_ = status.CodeValid ? status.Code : 0;
      reasonPhrase_ = status.CodeValid ? status.Reason : std::string();
    }
  } else if (auto field = SplitHeaderField(Line)) {
    HeaderField(*field);
    if (Gen != gen_) return;
  }
  Fire(OnHeaderData);
}

void THttpClient::HeaderField(const THeaderField& Field) {
  const std::string& name = Field.Name;
  const std::string& value = Field.Value;
  if (name == "location") {
    if (requestType_ == httpPUT) {
      location_ = value;
    } else if (FollowRelocation && !value.empty()) {
      // An empty value names no target and is ignored.
      const TLocationTarget target =
          ResolveLocation(value, {proto_, targetHost_, targetPort_, path_}, ParseURL(URL).Proto);
      relocation_ = true;
      hostToResolve_ = target.Target.Host;
      targetHost_ = target.Target.Host;
      port_ = target.Target.Port;
      targetPort_ = target.Target.Port;
      proto_ = target.Target.Proto;
      path_ = target.Target.Path;
      if (!target.User.empty()) {
        effUsername_ = target.User;
        effPassword_ = target.Pass;
      }
      location_ = target.Location;
    }
  } else if (name == "content-length") {
    contentLength_ = ParseContentLength(value);
  } else if (name == "transfer-encoding") {
    transferCoding_ = value;
    std::transform(transferCoding_.begin(), transferCoding_.end(), transferCoding_.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  } else if (name == "content-range") {
    ParseContentRange(value, ContentRangeBegin, ContentRangeEnd);
  } else if (name == "accept-ranges") {
    acceptRanges_ = value;
  } else if (name == "content-type") {
    contentType_ = value;
    std::transform(contentType_.begin(), contentType_.end(), contentType_.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  } else if (name == "set-cookie") {
    bool accept = true;
    if (OnCookie) OnCookie(this, value, accept);
  } else if (name == "connection" || name == "proxy-connection") {
    if (const auto close = CloseFromConnectionField(value)) closeReq_ = *close;
  } else if (name == "content-encoding") {
    contentCoding_ = value;
  }
}

void THttpClient::HeaderEnd(uint64_t Gen) {
  if (responseVer_ == "1.1" && statusCode_ == 100) {
    // An interim response: the next line starts the real one.
    rcvdHeader_.clear();
    headerBytes_ = 0;
    headerLineCount_ = -1;
    return;
  }
  inHeader_ = false;
  Fire(OnHeaderEnd);
  if (Gen != gen_ || state_ == httpReady) {
    rcv_.Clear();
    return;
  }

  const bool noBody =
      (contentLength_ == -1 && transferCoding_ != "chunked" && BodilessStatus(statusCode_)) ||
      contentLength_ == 0 || requestType_ == httpHEAD;
  if (noBody) {
    lineHandler_ = LineHandler::None;
    if (closeReq_) {
      if (relocation_) {
        StartRelocation();
        return;
      }
      if (requestType_ == httpHEAD) {
        rcv_.Clear();
        SetState(httpWaitingBody);
        if (Gen != gen_) return;
      }
      socket_.CloseLater();
      return;
    }
    if (requestType_ == httpHEAD) {
      rcv_.Clear();
      SetState(httpWaitingBody);
      if (Gen != gen_) return;
      if (relocation_) {
        StartRelocation();
        return;
      }
      SetReady();
      return;
    }
    ResponseComplete();
    return;
  }

  const std::string mediaType = contentType_.substr(0, contentType_.find(';'));
  if (mediaType == "text/html") docName_ = HtmlDocName(docName_);
  lineHandler_ = LineHandler::Body;
  SetState(httpWaitingBody);
  // Bytes behind the empty line go to the body step from ProcessBuffer's loop.
}

void THttpClient::BodyFromBuffer(uint64_t Gen) {
  if (lineHandler_ != LineHandler::Body) {
    // HEAD: no body may follow; whatever came is dropped with the connection.
    rcv_.Clear();
    if (requestType_ == httpHEAD) {
      closeRoute_ = CloseRoute::Normal;
      socket_.Abort();
      if (Gen == gen_ && connected_) CloseHandling(0);
    }
    return;
  }
  size_t window = rcv_.Count();
  if (contentLength_ >= 0)
    window = static_cast<size_t>(
        std::min<int64_t>(static_cast<int64_t>(window), contentLength_ - rcvdCount_));
  // The window leaves the buffer before any event can run; its bytes stay in place until
  // the next read.
  const char* data = rcv_.Data();
  rcv_.Consume(window);
  BodyStep(data, window, Gen);
  if (Gen != gen_) return;
  if (lineHandler_ == LineHandler::None) {
    rcv_.Clear();  // trailer lines and anything after the response
    ResponseComplete();
  }
}

void THttpClient::BodyStep(const char* Data, size_t Len, uint64_t Gen) {
  if (bodyLineCount_ == 0) {
    chunk_.Reset();
    rcvdStreamStartSize_ = RcvdStream != nullptr ? RcvdStream->Size() : 0;
    Fire(OnDocBegin);
    if (Gen != gen_) return;
  }
  ++bodyLineCount_;

  if (transferCoding_ != "chunked") {
    if (Len > 0 && !DeliverBody(Data, Len, Gen)) return;
    if (rcvdCount_ == contentLength_) EndOfBody(Gen);
    return;
  }
  chunk_.Feed(Data, Len, [&](const char* d, size_t n) { return DeliverBody(d, n, Gen); });
  if (Gen != gen_) return;
  if (chunk_.state() == TChunkDecoder::State::Error) {
    ProtocolError(kProtocolErrorCode);
    return;
  }
  if (chunk_.Done()) EndOfBody(Gen);
}

bool THttpClient::DeliverBody(const char* Data, size_t Len, uint64_t Gen) {
  rcvdCount_ += static_cast<int64_t>(Len);
  if (RcvdStream != nullptr) RcvdStream->WriteBuffer(Data, static_cast<int64_t>(Len));
  if (OnDocData) OnDocData(this, Data, static_cast<int64_t>(Len));
  return Gen == gen_;
}

void THttpClient::EndOfBody(uint64_t Gen) {
  bodyLineCount_ = 0;
  lineHandler_ = LineHandler::None;
  SetState(httpBodyReceived);
  if (Gen != gen_) return;
  Fire(OnDocEnd);
  if (Gen != gen_) return;
  if (closeReq_) socket_.CloseLater();
}

// A complete response: follow its location, or end the request unless the close will.
void THttpClient::ResponseComplete() {
  if (relocation_) {
    StartRelocation();
    return;
  }
  if (closeReq_ && connected_) return;  // the close from EndOfBody ends the request
  SetReadyUnlessDelayed();
}

void THttpClient::ProtocolError(uint16_t ErrCode) {
  errCode_ = ErrCode;
  rcv_.Clear();
  relocation_ = false;
  inHeader_ = false;
  closeRoute_ = CloseRoute::Normal;
  const uint64_t gen = gen_;
  socket_.Abort();
  if (gen == gen_ && connected_) CloseHandling(0);
}

// --- Closing and relocation -------------------------------------------------------------------

void THttpClient::SocketSessionClosed(uint16_t ErrCode) {
  switch (closeRoute_) {
    case CloseRoute::Ignore:
      connected_ = false;
      return;
    case CloseRoute::Relocation:
      rcv_.Clear();
      connected_ = false;
      ++gen_;
      RelocationAfterClose();
      return;
    case CloseRoute::Normal:
      CloseHandling(ErrCode);
      return;
  }
}

void THttpClient::CloseHandling(uint16_t ErrCode) {
  ++gen_;
  const uint64_t gen = gen_;
  rcv_.Clear();
  if (ErrCode != 0) errCode_ = ErrCode;
  connected_ = false;
  if (state_ == httpReady) {
    // An idle kept connection went away.
    Fire(OnSessionClosed);
    return;
  }

  if (inHeader_) {
    inHeader_ = false;
    Fire(OnHeaderEnd);
    if (gen != gen_) return;
  } else if (bodyLineCount_ > 0) {
    bodyLineCount_ = 0;
    Fire(OnDocEnd);
    if (gen != gen_) return;
  }
  if (relocation_ && state_ != httpAborting) {
    RelocationAfterClose();
    return;
  }
  lineHandler_ = LineHandler::None;
  Fire(OnSessionClosed);
  if (gen != gen_) return;
  if (state_ != httpReady) SetReady();
}

bool THttpClient::RelocationAllowed() {
  if (locationChangeCurCount_ <= LocationChangeMaxCount) return true;
  bool allow = false;
  if (OnLocationChangeExceeded) OnLocationChangeExceeded(this, locationChangeCurCount_, allow);
  return allow;
}

void THttpClient::StartRelocation() {
  rcvdCount_ = 0;
  rcv_.Clear();
  headerLineCount_ = 0;
  bodyLineCount_ = 0;
  ++locationChangeCurCount_;
  relocationCounted_ = true;
  const uint64_t gen = gen_;
  if (!RelocationAllowed()) {
    if (gen != gen_) return;
    relocation_ = false;
    relocationCounted_ = false;
    if (closeReq_ && connected_) {
      socket_.CloseLater();  // the close ends the request
      return;
    }
    SetReady();
    return;
  }
  if (gen != gen_) return;
  const bool sameEndpoint =
      hostToResolve_ == connHost_ && port_ == connPort_ && proto_ == connProto_;
  if (!sameEndpoint || closeReq_ || !connected_) {
    closeRoute_ = CloseRoute::Relocation;
    if (connected_ && socket_.State() != wsClosed) {
      socket_.CloseLater();
    } else {
      RelocationAfterClose();
    }
    return;
  }

  // Same endpoint, connection kept: send the new request on it.
  Fire(OnLocationChange);
  if (gen != gen_) return;
  CutBackRcvdStream();
  MoveBackSendStream();
  ResetResponseData();
  relocation_ = false;
  relocationCounted_ = false;
  path_ = CutFragment(path_);
  location_ = CutFragment(location_);
  docName_ = DocNameOf(path_);
  if (requestType_ == httpPOST) requestType_ = httpGET;
  lineHandler_ = LineHandler::None;
  PostMsg(Msg(kSlotLogin), requestSerial_, 0);
}

void THttpClient::RelocationAfterClose() {
  location_ = CutFragment(location_);
  path_ = CutFragment(path_);
  docName_ = DocNameOf(path_);
  connected_ = false;
  relocation_ = false;
  if (requestType_ == httpPOST) requestType_ = httpGET;
  closeRoute_ = CloseRoute::Normal;

  const bool counted = std::exchange(relocationCounted_, false);
  if (!counted) {
    ++locationChangeCurCount_;
    const uint64_t gen = gen_;
    if (!RelocationAllowed()) {
      if (gen == gen_) SetReady();
      return;
    }
    if (gen != gen_) return;
  }
  const uint64_t gen = gen_;
  Fire(OnLocationChange);
  if (gen != gen_) return;
  CutBackRcvdStream();
  MoveBackSendStream();
  ResetResponseData();
  lineHandler_ = LineHandler::None;
  PostMsg(Msg(kSlotLogin), requestSerial_, 0);
}

void THttpClient::CutBackRcvdStream() {
  if (RcvdStream != nullptr && rcvdStreamStartSize_ >= 0) RcvdStream->SetSize(rcvdStreamStartSize_);
  rcvdStreamStartSize_ = -1;
}

void THttpClient::MoveBackSendStream() {
  if (SendStream != nullptr && sentCount_ > 0) SendStream->Seek(-sentCount_, TSeekOrigin::Current);
  sentCount_ = 0;
}

void THttpClient::CloseSocketQuietly(bool UseAbort) {
  const CloseRoute saved = closeRoute_;
  closeRoute_ = CloseRoute::Ignore;
  if (UseAbort) {
    socket_.Abort();
  } else {
    socket_.Close();
  }
  closeRoute_ = saved;
  connected_ = false;
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
  lineHandler_ = LineHandler::None;
  allowedToSend_ = false;
  SetState(httpReady);
  PostMsg(Msg(kSlotRequestDone), requestSerial_, 0);
}

void THttpClient::Abort() {
  if (state_ == httpReady) {
    SetState(httpAborting);
    if (socket_.State() != wsClosed) CloseSocketQuietly(true);
    statusCode_ = 200;
    reasonPhrase_ = "OK";
    errCode_ = 0;
    SetState(httpReady);
    if (OnRequestDone) OnRequestDone(this, requestType_, 0);
    return;
  }
  const THttpState was = state_;
  ++gen_;
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
  ++gen_;
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
    if (current && OnRequestDone) OnRequestDone(this, requestType_, errCode_);
  } else if (msg == Msg(kSlotLogin)) {
    if (current && state_ != httpReady && state_ != httpAborting) Guarded([&] { Login(); });
  } else {
    TNetWndControl::MessageHandler(msg, wParam, lParam);
  }
}

}  // namespace qelo::net
