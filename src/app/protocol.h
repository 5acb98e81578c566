// The request/reply pattern every window runs over its own HTTP client: a form body posted to
// the service, the reply body handed back on ErrCode 0 and status 200. Qt-free.
#pragma once

#include <cstdint>
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

// The two streams of one request, owned by the window from the start of the request to its
// completion; both empty between requests.
struct TFormStreams {
  std::unique_ptr<net::TMemoryStream> SendStream;
  std::unique_ptr<net::TMemoryStream> RcvdStream;
  bool UnderWay() const { return SendStream != nullptr || RcvdStream != nullptr; }
};

// Starts POST url with body (GBK bytes, sent as they are). Returns at once; the client's
// OnRequestDone follows on a later turn of the loop. A client that still carries a request is
// refused with its busy error before the streams of that request are touched.
void PostForm(net::THttpClient& client, TFormStreams& streams, const std::string& url,
              const std::string& body);

// The completion half, to be called from OnRequestDone: releases the streams and returns the
// reply body when the transport worked (errCode 0) and the status is 200, nothing otherwise.
std::optional<std::string> FinishPostForm(net::THttpClient& client, TFormStreams& streams,
                                          uint16_t errCode);

}  // namespace qelo::app
