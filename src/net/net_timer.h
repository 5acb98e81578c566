// A timer that fires OnTimer from its owner's thread loop.
#pragma once

#include <cstdint>
#include <functional>

#include "net/dispatcher.h"

namespace qelo::net {

class TNetWndControl;

class TNetTimer {
 public:
  using TimerEvent = std::function<void(TNetTimer* Sender)>;

  explicit TNetTimer(TNetWndControl* owner);
  ~TNetTimer();
  TNetTimer(const TNetTimer&) = delete;
  TNetTimer& operator=(const TNetTimer&) = delete;

  bool Enabled() const { return enabled_; }
  void SetEnabled(bool value);
  uint32_t Interval() const { return interval_; }
  void SetInterval(uint32_t ms);
  const TimerEvent& OnTimer() const { return onTimer_; }
  void SetOnTimer(TimerEvent handler);

  // Delivery of one timer message (called by the dispatcher).
  void TimerMessage();

 private:
  void Rearm();
  void Disarm();
  static uint64_t TickCount();

  TNetWndControl* owner_;
  Dispatcher& dispatcher_;
  bool enabled_ = true;
  uint32_t interval_ = 1000;
  TimerEvent onTimer_;
  uint64_t serial_ = 0;
  Dispatcher::TimerId pending_ = 0;
  uint64_t lastTick_ = 0;
};

}  // namespace qelo::net
