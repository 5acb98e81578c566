#include "appcore/service_request.h"

#include "net/http_client.h"

namespace qelo::app {

TServiceRequest::TServiceRequest(DoneHandler onDone)
    : client_(MakeServiceClient(std::move(onDone))) {}

TServiceRequest::~TServiceRequest() {
  client_.reset();
}

bool TServiceRequest::Busy() const {
  return streams_.UnderWay() || client_->State() != net::httpReady;
}

void TServiceRequest::Post(const std::string& url, const std::string& body, size_t maxReplyBytes) {
  PostForm(*client_, streams_, url, body, maxReplyBytes);
}

std::optional<std::string> TServiceRequest::Finish(uint16_t errCode, std::string* why) {
  return FinishPostForm(*client_, streams_, errCode, why);
}

}  // namespace qelo::app
