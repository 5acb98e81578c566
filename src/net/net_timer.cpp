#include "net/net_timer.h"

#include "net/net_exception.h"
#include "net/net_wnd_control.h"

namespace qelo::net {

TNetTimer::TNetTimer(TNetWndControl* owner)
    : owner_(owner), dispatcher_(owner ? owner->dispatcher() : Dispatcher::current()) {
  if (owner_ == nullptr) throw ENetTimerException("Owner not assigned");
  serial_ = dispatcher_.registerNetTimer(this);
}

TNetTimer::~TNetTimer() {
  Disarm();
  dispatcher_.unregisterNetTimer(serial_);
}

void TNetTimer::SetEnabled(bool value) {
  enabled_ = value;
  Rearm();
}

void TNetTimer::SetInterval(uint32_t ms) {
  interval_ = ms;
  Rearm();
}

void TNetTimer::SetOnTimer(TimerEvent handler) {
  onTimer_ = std::move(handler);
  Rearm();
}

uint64_t TNetTimer::TickCount() {
  using namespace std::chrono;
  return static_cast<uint64_t>(
      duration_cast<milliseconds>(Clock::now().time_since_epoch()).count());
}

void TNetTimer::Disarm() {
  if (pending_ != 0) dispatcher_.cancelTimer(pending_);
  pending_ = 0;
}

// The next timer message is due Interval ms after now; a queued one still counts below.
void TNetTimer::Rearm() {
  Disarm();
  if (!enabled_ || interval_ == 0 || !onTimer_) return;
  if (!owner_->Attached()) {
    enabled_ = false;
    throw ENetTimerException("No window available");
  }
  pending_ = dispatcher_.addTimer(std::chrono::milliseconds(interval_), [this] {
    pending_ = 0;
    dispatcher_.postTimerMessage(serial_);
  });
}

// Fires when at least Interval ms passed since the previous timer message; records the tick
// either way, then schedules the next message from now so deliveries never come closer.
void TNetTimer::TimerMessage() {
  const uint64_t now = TickCount();
  const bool due = now - lastTick_ >= interval_;
  lastTick_ = now;
  // Nothing raised here may reach the loop: it goes to the owner's background-exception step.
  try {
    if (pending_ == 0) Rearm();
    if (due && enabled_ && onTimer_) onTimer_(this);
  } catch (const std::exception& e) {
    owner_->HandleBackGroundException(e);
  } catch (...) {
    owner_->HandleBackGroundException(std::runtime_error("Unknown exception"));
  }
}

}  // namespace qelo::net
