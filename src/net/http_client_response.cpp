// THttpClient, receiving half: the response header, the body (by length, by chunks or until
// the close), the end of a response, the close of the connection and relocation.
#include <algorithm>
#include <cstring>
#include <string>
#include <utility>

#include "net/http_client.h"
#include "net/http_url.h"
#include "text/ascii_text.h"

namespace qelo::net {

namespace {

bool IsHtmlStart(const std::string& Line) {
  return !Line.empty() && Line[0] == '<' &&
         (text::StartsWithNoCase(Line, "<HTML>") || text::StartsWithNoCase(Line, "<!DOCTYPE"));
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

// --- Reception --------------------------------------------------------------------------------

void THttpClient::SocketDataAvailable() {
  char* room = rcv_.Reserve(kReceiveRoom);
  const int n = socket_.Receive(room, static_cast<int>(rcv_.FreeSpace()));
  if (n <= 0 || requestType_ == httpABORT) return;
  rcv_.Commit(static_cast<size_t>(n));
  ProcessBuffer(life_.Check());
}

void THttpClient::ProcessBuffer(const TLifeGuard::TCheck& Run) {
  while (Run && !rcv_.Empty()) {
    if (state_ == httpWaitingBody) {
      BodyFromBuffer(Run);
      continue;
    }
    if (state_ != httpWaitingHeader || lineHandler_ != LineHandler::Header) {
      // Nothing is waiting for these bytes (a complete response on a kept connection).
      rcv_.Clear();
      return;
    }
    const size_t lf = rcv_.FindLineEnd();
    if (lf == std::string::npos) {
      if (rcv_.Count() > kMaxHeaderLineLength) ProtocolError(kProtocolErrorCode);
      return;
    }
    const char* data = rcv_.Data();
    const size_t rawLength = lf + 1;
    size_t lineLength = rawLength - 1;
    if (lineLength > 0 && data[lineLength - 1] == '\r') --lineLength;
    if (lineLength > kMaxHeaderLineLength) {
      ProtocolError(kProtocolErrorCode);
      return;
    }
    std::string line(data, lineLength);
    rcv_.Consume(rawLength);
    HeaderStep(line, rawLength, Run);
  }
}

void THttpClient::HeaderStep(const std::string& Line, size_t RawLength,
                             const TLifeGuard::TCheck& Run) {
  if (headerLineCount_ == 0) {
    inHeader_ = true;
    Fire(OnHeaderBegin);
    if (!Run) return;
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
    if (!Run) return;
    inHeader_ = false;
    Fire(OnHeaderEnd);
    return;
  }

  if (Line.empty()) {
    HeaderEnd(Run);
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
      if (!Run) return;
    } else {
      responseVer_ = status.Version;
      closeReq_ = CloseAfterResponse(requestVer_, responseVer_);
      // A code that is not a number leaves the status unknown (0), without a phrase.
      statusCode_ = status.CodeValid ? status.Code : 0;
      reasonPhrase_ = status.CodeValid ? status.Reason : std::string();
    }
  } else if (auto field = SplitHeaderField(Line)) {
    HeaderField(*field);
    if (!Run) return;
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
    transferCoding_ = text::AsciiLower(value);
  } else if (name == "content-range") {
    ParseContentRange(value, ContentRangeBegin, ContentRangeEnd);
  } else if (name == "accept-ranges") {
    acceptRanges_ = value;
  } else if (name == "content-type") {
    contentType_ = text::AsciiLower(value);
  } else if (name == "set-cookie") {
    bool accept = true;
    FireEvent(OnCookie, this, value, accept);
  } else if (name == "connection" || name == "proxy-connection") {
    if (const auto close = CloseFromConnectionField(value)) closeReq_ = *close;
  } else if (name == "content-encoding") {
    contentCoding_ = value;
  }
}

void THttpClient::HeaderEnd(const TLifeGuard::TCheck& Run) {
  if (responseVer_ == "1.1" && statusCode_ == 100) {
    // An interim response: the next line starts the real one.
    rcvdHeader_.clear();
    headerBytes_ = 0;
    headerLineCount_ = -1;
    return;
  }
  inHeader_ = false;
  Fire(OnHeaderEnd);
  if (!Run.OwnerAlive()) return;  // a handler destroyed the client
  if (!Run || state_ == httpReady) {
    rcv_.Clear();
    return;
  }

  const bool noBody =
      (contentLength_ == -1 && transferCoding_ != "chunked" && BodilessStatus(statusCode_)) ||
      contentLength_ == 0 || requestType_ == httpHEAD;
  if (noBody) {
    bodyComplete_ = true;
    lineHandler_ = LineHandler::None;
    if (closeReq_) {
      if (relocation_) {
        StartRelocation();
        return;
      }
      if (requestType_ == httpHEAD) {
        rcv_.Clear();
        SetState(httpWaitingBody);
        if (!Run) return;
      }
      socket_.CloseLater();
      return;
    }
    if (requestType_ == httpHEAD) {
      rcv_.Clear();
      SetState(httpWaitingBody);
      if (!Run) return;
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

void THttpClient::BodyFromBuffer(const TLifeGuard::TCheck& Run) {
  if (lineHandler_ != LineHandler::Body) {
    // HEAD: no body may follow; whatever came is dropped with the connection.
    rcv_.Clear();
    if (requestType_ == httpHEAD) {
      closeRoute_ = CloseRoute::Normal;
      socket_.Abort();
      if (Run && connected_) CloseHandling(0);
    }
    return;
  }
  size_t window = rcv_.Count();
  if (contentLength_ >= 0)
    window = static_cast<size_t>(
        std::min<int64_t>(static_cast<int64_t>(window), contentLength_ - rcvdCount_));
  if (window == 0) {
    rcv_.Clear();  // nothing more belongs to this body
    return;
  }
  // The window leaves the buffer before any event can run; its bytes stay in place until
  // the next read.
  const char* data = rcv_.Data();
  rcv_.Consume(window);
  BodyStep(data, window, Run);
  if (!Run) return;
  if (lineHandler_ == LineHandler::None) {
    rcv_.Clear();  // trailer lines and anything after the response
    ResponseComplete();
  }
}

void THttpClient::BodyStep(const char* Data, size_t Len, const TLifeGuard::TCheck& Run) {
  if (bodyLineCount_ == 0) {
    chunk_.Reset();
    rcvdStreamStartSize_ = RcvdStream != nullptr ? RcvdStream->Size() : 0;
    Fire(OnDocBegin);
    if (!Run) return;
  }
  ++bodyLineCount_;

  if (transferCoding_ != "chunked") {
    if (Len > 0 && !DeliverBody(Data, Len, Run)) return;
    if (rcvdCount_ == contentLength_) EndOfBody(Run);
    return;
  }
  chunk_.Feed(Data, Len, [&](const char* d, size_t n) { return DeliverBody(d, n, Run); });
  if (!Run) return;
  if (chunk_.state() == TChunkDecoder::State::Error) {
    ProtocolError(kProtocolErrorCode);
    return;
  }
  if (chunk_.Done()) EndOfBody(Run);
}

bool THttpClient::DeliverBody(const char* Data, size_t Len, const TLifeGuard::TCheck& Run) {
  rcvdCount_ += static_cast<int64_t>(Len);
  if (RcvdStream != nullptr) RcvdStream->WriteBuffer(Data, static_cast<int64_t>(Len));
  FireEvent(OnDocData, this, Data, static_cast<int64_t>(Len));
  return Run.Holds();
}

void THttpClient::EndOfBody(const TLifeGuard::TCheck& Run) {
  bodyComplete_ = true;
  bodyLineCount_ = 0;
  lineHandler_ = LineHandler::None;
  SetState(httpBodyReceived);
  if (!Run) return;
  Fire(OnDocEnd);
  if (!Run) return;
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
  const TLifeGuard::TCheck still = life_.Check();
  socket_.Abort();
  if (still && connected_) CloseHandling(0);
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
      life_.StartOver();
      RelocationAfterClose();
      return;
    case CloseRoute::Normal:
      CloseHandling(ErrCode);
      return;
  }
}

void THttpClient::CloseHandling(uint16_t ErrCode) {
  life_.StartOver();
  const TLifeGuard::TCheck still = life_.Check();
  rcv_.Clear();
  if (loginPending_ && state_ != httpAborting) {
    // The relocated request was not sent on this connection yet: its login opens a new one.
    connected_ = false;
    return;
  }
  if (ErrCode != 0) errCode_ = ErrCode;
  connected_ = false;
  if (state_ == httpReady) {
    // An idle kept connection went away.
    Fire(OnSessionClosed);
    return;
  }

  // A body without length or chunks ends with the connection, when that closes in order.
  if (errCode_ == 0 && state_ == httpWaitingBody && lineHandler_ == LineHandler::Body &&
      contentLength_ < 0 && transferCoding_ != "chunked")
    bodyComplete_ = true;
  if (inHeader_) {
    inHeader_ = false;
    Fire(OnHeaderEnd);
    if (!still) return;
  } else if (bodyLineCount_ > 0) {
    bodyLineCount_ = 0;
    Fire(OnDocEnd);
    if (!still) return;
  }
  if (relocation_ && state_ != httpAborting) {
    RelocationAfterClose();
    return;
  }
  lineHandler_ = LineHandler::None;
  Fire(OnSessionClosed);
  if (!still) return;
  if (state_ != httpReady) SetReady();
}

bool THttpClient::RelocationAllowed() {
  if (locationChangeCurCount_ <= LocationChangeMaxCount) return true;
  bool allow = false;
  FireEvent(OnLocationChangeExceeded, this, locationChangeCurCount_, allow);
  return allow;
}

void THttpClient::StartRelocation() {
  rcvdCount_ = 0;
  rcv_.Clear();
  headerLineCount_ = 0;
  bodyLineCount_ = 0;
  ++locationChangeCurCount_;
  relocationCounted_ = true;
  const TLifeGuard::TCheck still = life_.Check();
  if (!RelocationAllowed()) {
    if (!still) return;
    relocation_ = false;
    relocationCounted_ = false;
    if (closeReq_ && connected_) {
      socket_.CloseLater();  // the close ends the request
      return;
    }
    SetReady();
    return;
  }
  if (!still) return;
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
  if (!still) return;
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
  loginPending_ = true;
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
    const TLifeGuard::TCheck still = life_.Check();
    if (!RelocationAllowed()) {
      if (still) SetReady();
      return;
    }
    if (!still) return;
  }
  const TLifeGuard::TCheck still = life_.Check();
  Fire(OnLocationChange);
  if (!still) return;
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

}  // namespace qelo::net
