// The request/reply pattern every window runs over its own HTTP client: a form body posted to
// the service, the reply body handed back on ErrCode 0 and status 200. Qt-free.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "net/stream.h"

namespace qelo::net {
class THttpClient;
}

namespace qelo::app {

// The service script that answers searches, ratings and reports, relative to BaseUrl.
inline constexpr const char* kServiceScript = "zelk_client.php";

// Sets a window's client up as every service client is: agent "zelk-client-http", HTTP/1.0,
// relocations followed up to five times, no cache suppression, no proxy.
void ConfigureServiceClient(net::THttpClient& client);

// A window's service client: named "HttpClient1", configured as above, with onDone as its
// OnRequestDone (the request type passed as an int, as the windows' handlers take it).
std::unique_ptr<net::THttpClient> MakeServiceClient(
    std::function<void(net::THttpClient* sender, int rqType, uint16_t errCode)> onDone);

// No reply of the service comes near this; a larger one is cut off and the request fails
// instead of filling memory (a search listing of that size could not be shown anyway).
inline constexpr size_t kMaxReplyBytes = size_t{64} << 20;

// A reply body held in memory up to a limit: a write past it raises, which ends the request
// with the client's data error, and leaves Overflowed set.
class TReplyStream : public net::TMemoryStream {
 public:
  explicit TReplyStream(size_t limit) : limit_(limit) {}
  int64_t Write(const void* buffer, int64_t count) override;
  bool Overflowed() const { return overflowed_; }
  size_t Limit() const { return limit_; }

 private:
  size_t limit_;
  bool overflowed_ = false;
};

// The two streams of one request, owned by the window from the start of the request to its
// completion; both empty between requests.
struct TFormStreams {
  std::unique_ptr<net::TMemoryStream> SendStream;
  std::unique_ptr<TReplyStream> RcvdStream;
  bool UnderWay() const { return SendStream != nullptr || RcvdStream != nullptr; }
};

// Starts POST url with body (GBK bytes, sent as they are). Returns at once; the client's
// OnRequestDone follows on a later turn of the loop. A client that still carries a request is
// refused with its busy error before the streams of that request are touched. A reply body
// past maxReplyBytes ends the request as failed.
void PostForm(net::THttpClient& client, TFormStreams& streams, const std::string& url,
              const std::string& body, size_t maxReplyBytes = kMaxReplyBytes);

// The completion half, to be called from OnRequestDone: releases the streams and returns the
// reply body when the transport worked (errCode 0), the status is 200 and the body is whole as
// its framing says; nothing otherwise. `why`, when given, is set to the reason of a failure.
std::optional<std::string> FinishPostForm(net::THttpClient& client, TFormStreams& streams,
                                          uint16_t errCode, std::string* why = nullptr);

}  // namespace qelo::app
