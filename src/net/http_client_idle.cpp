// THttpClient, idle timeout: a request whose connection moves no byte for IdleTimeout seconds
// is ended like a connection that timed out.
#include <algorithm>
#include <chrono>

#include "net/http_client.h"

namespace qelo::net {

// Anything that shows the request moving on: bytes through the socket, a new connection, a
// state change of the socket or of the request, a relocation.
THttpClient::ActivityMark THttpClient::CurrentActivity() const {
  return {socket_.ReadCount(),
          socket_.WriteCount(),
          socket_.HSocket(),
          static_cast<int>(socket_.State()),
          state_,
          locationChangeCurCount_};
}

void THttpClient::StopIdleCheck() {
  if (idleTimer_ != 0 && Attached()) dispatcher().cancelTimer(idleTimer_);
  idleTimer_ = 0;
}

void THttpClient::ArmIdleCheck() {
  StopIdleCheck();
  idleTimeoutSec_ = IdleTimeout;
  if (idleTimeoutSec_ == 0 || !Attached()) return;
  idleMark_ = CurrentActivity();
  idleSince_ = Clock::now();
  ScheduleIdleCheck();
}

// Checked once a second (more often for a shorter timeout), so a request times out at most a
// second after its limit.
void THttpClient::ScheduleIdleCheck() {
  using std::chrono::milliseconds;
  const milliseconds period =
      std::min<milliseconds>(milliseconds(1000), milliseconds(idleTimeoutSec_) * 1000);
  idleTimer_ = dispatcher().addTimer(period, [this] {
    idleTimer_ = 0;
    try {
      IdleCheck();
    } catch (...) {
      FailRequest();  // a handler of the close raised: the request still ends
    }
  });
}

void THttpClient::IdleCheck() {
  // A finished request stops the checks; the next request starts them again.
  if (state_ == httpReady) return;
  const ActivityMark mark = CurrentActivity();
  const Clock::time_point now = Clock::now();
  // A name lookup has its own time limits, and without a connection nothing can stall.
  const bool watched = state_ != httpDnsLookup && socket_.HSocket() >= 0;
  if (!watched || !(mark == idleMark_)) {
    idleMark_ = mark;
    idleSince_ = now;
  } else if (now - idleSince_ >= std::chrono::seconds(idleTimeoutSec_)) {
    IdleTimedOut();
    return;
  }
  ScheduleIdleCheck();
}

// Drops the connection; its close handling ends the request with the timeout's number, just
// as a peer that closed would, and fires exactly one OnRequestDone.
void THttpClient::IdleTimedOut() {
  errCode_ = kSockTimedOut;
  closeRoute_ = CloseRoute::Normal;
  const TLifeGuard::TCheck still = life_.Check();
  socket_.Abort();
  if (still && connected_) CloseHandling(kSockTimedOut);
}

}  // namespace qelo::net
