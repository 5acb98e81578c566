#include "appcore/protocol.h"

#include "config.h"
#include "net/http_client.h"

namespace qelo::app {

namespace {

constexpr const char* kFormContentType = "application/x-www-form-urlencoded";

void Release(net::THttpClient& client, TFormStreams& streams) {
  client.SendStream = nullptr;
  client.RcvdStream = nullptr;
  streams.SendStream.reset();
  streams.RcvdStream.reset();
}

}  // namespace

int64_t TReplyStream::Write(const void* buffer, int64_t count) {
  if (count > 0 && static_cast<uint64_t>(Size()) + static_cast<uint64_t>(count) > limit_) {
    overflowed_ = true;
    throw net::EStreamError("reply larger than " + std::to_string(limit_) + " bytes");
  }
  return TMemoryStream::Write(buffer, count);
}

void ConfigureServiceClient(net::THttpClient& client) {
  client.Agent = config::kServiceAgent;
  client.Accept = config::kServiceAccept;
  client.ContentTypePost = kFormContentType;
  client.SetRequestVer("1.0");
  client.NoCache = false;
  client.FollowRelocation = true;
  client.LocationChangeMaxCount = 5;
  client.Timeout = 30;
  // A service that accepts and then says nothing must not hold a window's request forever.
  client.IdleTimeout = 30;
  client.ServerAuth = net::httpAuthNone;
  client.ProxyAuth = net::httpAuthNone;
  client.Options = 0;
  client.LocalAddr = "0.0.0.0";
  client.ProxyPort = "80";
  client.MultiThreaded = false;
}

std::unique_ptr<net::THttpClient> MakeServiceClient(
    std::function<void(net::THttpClient* sender, int rqType, uint16_t errCode)> onDone) {
  auto client = std::make_unique<net::THttpClient>();
  client->Name = "HttpClient1";
  ConfigureServiceClient(*client);
  client->OnRequestDone = [onDone = std::move(onDone)](net::THttpClient* sender,
                                                       net::THttpRequest rqType, uint16_t errCode) {
    onDone(sender, static_cast<int>(rqType), errCode);
  };
  return client;
}

void PostForm(net::THttpClient& client, TFormStreams& streams, const std::string& url,
              const std::string& body, size_t maxReplyBytes) {
  // Refuse a busy client before the request under way loses its streams.
  if (client.State() != net::httpReady || streams.UnderWay())
    throw net::EHttpException("HTTP component " + client.Name + " is busy", 1);

  streams.SendStream = std::make_unique<net::TMemoryStream>();
  streams.SendStream->WriteBuffer(body.data(), static_cast<int64_t>(body.size()));
  streams.SendStream->SetPosition(0);
  streams.RcvdStream = std::make_unique<TReplyStream>(maxReplyBytes);
  client.SendStream = streams.SendStream.get();
  client.RcvdStream = streams.RcvdStream.get();
  client.URL = url;
  client.ContentTypePost = kFormContentType;
  try {
    client.PostASync();
  } catch (...) {
    Release(client, streams);
    throw;
  }
}

std::optional<std::string> FinishPostForm(net::THttpClient& client, TFormStreams& streams,
                                          uint16_t errCode, std::string* why) {
  std::string reason;
  if (streams.RcvdStream && streams.RcvdStream->Overflowed()) {
    reason = "reply larger than " + std::to_string(streams.RcvdStream->Limit()) + " bytes";
  } else if (errCode != 0) {
    reason = "ErrCode " + std::to_string(errCode);
  } else if (client.StatusCode() != 200) {
    reason = "StatusCode " + std::to_string(client.StatusCode());
  } else if (!client.BodyComplete()) {
    // A header that never ended, a body short of its length, chunks without the last one.
    reason = "reply cut short";
  } else if (!streams.RcvdStream) {
    reason = "no reply stream";
  }
  std::optional<std::string> body;
  if (reason.empty()) body = std::string(streams.RcvdStream->Text());
  if (why) *why = reason;
  Release(client, streams);
  return body;
}

}  // namespace qelo::app
