// One window's requests to the service: its own client (named "HttpClient1", configured as
// every service client is), the two streams of the request under way, and the busy check, post
// and finish every window runs. Qt-free.
//
// Contract: Post starts a request and returns at once; onDone follows on a later turn of the
// loop, where the window calls Finish to release the streams and take the reply. Busy is true
// from Post to Finish; a Post while Busy raises the client's busy error and leaves the request
// under way untouched.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "appcore/protocol.h"

namespace qelo::net {
class THttpClient;
}

namespace qelo::app {

class TServiceRequest {
 public:
  using DoneHandler = std::function<void(net::THttpClient* sender, int rqType, uint16_t errCode)>;

  explicit TServiceRequest(DoneHandler onDone);
  // The client goes before the streams it writes into.
  ~TServiceRequest();
  TServiceRequest(const TServiceRequest&) = delete;
  TServiceRequest& operator=(const TServiceRequest&) = delete;

  net::THttpClient& Client() const { return *client_; }
  // A request is under way: posted and not yet finished, or the client still carries one.
  bool Busy() const;
  // Posts body (GBK bytes) to url; a reply body past maxReplyBytes ends the request as failed.
  void Post(const std::string& url, const std::string& body, size_t maxReplyBytes = kMaxReplyBytes);
  // From onDone: the reply body on ErrCode 0, status 200 and a whole body; nothing otherwise
  // (why, when given, says what failed). The streams are released either way.
  std::optional<std::string> Finish(uint16_t errCode, std::string* why = nullptr);

 private:
  std::unique_ptr<net::THttpClient> client_;
  TFormStreams streams_;
};

}  // namespace qelo::app
